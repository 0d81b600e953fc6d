#!/usr/bin/env python3
"""The download server's content as the build made it, and the stock file generator's
refusal of bad input."""

import csv
import gzip
import io
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

DATA = Path(os.environ.get("WENDLE_DATA_DIR", Path(__file__).resolve().parents[2] / "data"))
SERVER = Path(os.environ.get("WENDLE_SERVER_DIR", "build/server"))
STAGE = Path(os.environ.get("WENDLE_STAGE_DIR", "build/stage"))
MAJOR = os.environ.get("WENDLE_MAJOR", "11")
VERSION = os.environ.get("WENDLE_VERSION", "11.10.9")
GENERATOR = DATA / "make_stock_files.py"
HH = re.compile(r"^(\d+)(?::(\d+))?$")


def airportsDb():
    return {a.get("code"): a for a in ET.parse(DATA / "airports.xml").getroot().iter("airport")}


def metres(lat1, lon1, lat2, lon2):
    p1, p2 = math.radians(lat1), math.radians(lat2)
    h = (math.sin((p2 - p1) / 2) ** 2 +
         math.cos(p1) * math.cos(p2) * math.sin(math.radians(lon2 - lon1) / 2) ** 2)
    return 2 * 6371000 * math.asin(math.sqrt(h))


def checkAirportFile(test, path):
    """The airport file format as the program reads it; returns (parameters, stands)."""
    root = ET.parse(path).getroot()
    test.assertEqual(root.tag, "root")
    test.assertRegex(root.find("meta").get("version"), r"^\d+\.\d+\.\d+$")
    params = {p.get("name"): p.get("value") for p in root.find("parameters")}
    test.assertIn("altitude", params)
    stands = root.find("parkpositions").findall("parkpos")
    test.assertEqual(int(params["num_parkpos"]), len(stands), path)
    ids = [s.get("id") for s in stands]
    test.assertTrue(all(ids), path)
    test.assertEqual(len(set(ids)), len(ids), path)
    for s in stands:
        lat, lon = float(s.get("latitude")), float(s.get("longitude"))
        test.assertTrue(-90 <= lat <= 90 and -180 <= lon <= 180 and (lat, lon) != (0, 0))
        test.assertTrue(0 <= float(s.get("heading")) < 360, (path, s.get("id")))
        test.assertTrue(0 < float(s.get("radius")) <= 100, (path, s.get("id")))
        for opt in s.findall("opt"):
            test.assertIn(int(opt.get("day")), range(1, 8))
            m = HH.match(opt.get("hh"))
            first, last = int(m.group(1)), int(m.group(2) or m.group(1))
            test.assertTrue(0 <= first <= last <= 47, opt.attrib)
            test.assertEqual(opt.get("soft"), "true")
            test.assertTrue(opt.get("reg") and opt.get("type") and opt.get("cs"), opt.attrib)
    return params, stands


@unittest.skipUnless((SERVER / "downloads" / "P3D").is_dir(), "build the server content first")
class ServerTree(unittest.TestCase):
    def test_every_airport_with_stands_has_a_well_formed_file_of_as_many_stands(self):
        expected = {c: int(a.get("stands")) for c, a in airportsDb().items()
                    if int(a.get("stands")) > 0}
        files = {p.stem: p for p in (SERVER / "downloads" / "P3D").glob("*.xml")}
        self.assertEqual(set(files), set(expected))
        for code, path in sorted(files.items()):
            params, stands = checkAirportFile(self, path)
            self.assertEqual(len(stands), expected[code], code)
            self.assertEqual(params["publisher"], "stock")

    def test_zurich_has_flightgears_168_stands_with_swiss_flights(self):
        db = airportsDb()["LSZH"]
        params, stands = checkAirportFile(self, SERVER / "downloads" / "P3D" / "LSZH.xml")
        self.assertEqual(len(stands), 168)
        self.assertEqual(params["airport_name"], "Zürich Airport")
        self.assertEqual(params["altitude"], db.get("alt"))
        for s in stands:
            self.assertLess(metres(float(db.get("lat")), float(db.get("lon")),
                                   float(s.get("latitude")), float(s.get("longitude"))), 4000)
        ids = {s.get("id") for s in stands}
        self.assertIn("Terminal A Gate 4811", ids)
        self.assertIn("A11-1", ids)
        opts = [o for s in stands for o in s.findall("opt")]
        swiss = [o for o in opts if o.get("airl") == "SWR"]
        self.assertGreater(len(swiss), 200)
        self.assertTrue(all(o.get("reg").startswith("HB-") for o in swiss))
        self.assertTrue(all(re.match(r"^SWR\d+\w*(:SWR\d+\w*)?$", o.get("cs")) for o in swiss))
        self.assertEqual({int(o.get("day")) for o in opts}, set(range(1, 8)))
        self.assertGreater(int(params["Qf_soft"]), 0)
        self.assertEqual(params["Qf_real"], "0")

    def test_startup_location_airports_have_their_stands(self):
        # Munich: only apt.dat's older startup locations; Seattle: row code 1300 with types.
        for code, count in (("EDDM", 28), ("KSEA", 81)):
            params, stands = checkAirportFile(self, SERVER / "downloads" / "P3D" / f"{code}.xml")
            self.assertEqual(len(stands), count)
            self.assertTrue(any(s.findall("opt") for s in stands), code)
            self.assertTrue(all(float(s.get("radius")) <= 32.4 for s in stands), code)

    def test_data_files_lie_under_the_major_version(self):
        for name in ("airports.enc", "dbase.enc", "AIG-regcodes.enc"):
            served = SERVER / "downloads" / MAJOR / name
            self.assertEqual(served.read_bytes(), (STAGE / "input" / name).read_bytes(), name)


STAND_HEADER = "icao,source,type,name,lat,lon,heading,radius_m,aircraft,airlines"
VISIT_HEADER = "icao,arr,stay,airline,type,reg,cargo,cs"
GOOD_STANDS = [
    "XAAA,parking,gate,G1,47.45,8.55,90,20,,SWR",
    "XAAA,parking,gate,G1,47.4505,8.55,90,20,,",
    "XAAA,parking,ga,R,47.451,8.551,400,0,,",
    "XAAA,apt1300,misc,H,47.452,8.552,10,,helos,",
]
GOOD_VISITS = [
    # Sunday 23:00 for two hours, into Monday.
    "XAAA,10020,120,SWR,A320,HB-IJA,,SWR1:SWR2",
    "XAAA,600,60,,C172,HB-CAA,,HBCAA",
    "XAAA,600,60,ABC,A388,F-HPJA,,ABC1",
]


def gz(lines):
    buf = io.BytesIO()
    with gzip.GzipFile(fileobj=buf, mode="wb", mtime=0) as z:
        z.write(("\n".join(lines) + "\n").encode())
    return buf.getvalue()


class Generator(unittest.TestCase):
    def run_generator(self, stands=GOOD_STANDS, visits=GOOD_VISITS, count=None,
                      standsFile=None):
        data = Path(self.tmp.name) / "data"
        out = Path(self.tmp.name) / "server"
        (data / "stock").mkdir(parents=True, exist_ok=True)
        shutil.copy(DATA / "dbase.xml", data / "dbase.xml")
        n = len(stands) if count is None else count
        (data / "airports.xml").write_text(
            '<?xml version="1.0"?>\n<root><airports>'
            f'<airport code="XAAA" iata="" lat="47.45" lon="8.55" alt="1416" stands="{n}" />'
            '<airport code="XBBB" iata="" lat="1" lon="1" alt="0" stands="0" />'
            "</airports></root>\n", encoding="utf-8")
        (data / "stock" / "stands.csv.gz").write_bytes(
            standsFile if standsFile is not None else gz([STAND_HEADER] + stands))
        (data / "stock" / "visits.csv.gz").write_bytes(gz([VISIT_HEADER] + visits))
        (data / "stock" / "names.csv").write_text("icao,name\nXAAA,Test Field\n")
        r = subprocess.run([sys.executable, str(GENERATOR), "--data", str(data), "--out",
                            str(out), "--version", VERSION], capture_output=True, text=True)
        return r, out / "downloads" / "P3D"

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.tmp.cleanup()

    def test_stays_go_to_stands_that_fit_them(self):
        r, folder = self.run_generator()
        self.assertEqual(r.returncode, 0, r.stderr)
        params, stands = checkAirportFile(self, folder / "XAAA.xml")
        self.assertEqual(params["airport_name"], "Test Field")
        self.assertEqual(params["Qf_soft"], "50")
        by = {s.get("id"): s for s in stands}
        self.assertEqual(list(by), ["G1-1", "G1-2", "R", "H"])
        self.assertEqual(by["R"].get("heading"), "40.0")
        self.assertEqual(by["R"].get("ramp"), "true")
        self.assertEqual(by["H"].get("heli"), "true")
        self.assertEqual(by["G1-1"].get("airlines"), "SWR")
        # The Swiss A320 takes the stand that lists its airline, over midnight into Monday;
        # the Cessna the ramp; the A380 fits nowhere.
        swiss = [(o.get("day"), o.get("hh"), o.get("cs")) for o in by["G1-1"].findall("opt")]
        self.assertEqual(swiss, [("1", "0:1", "SWR1:SWR2"), ("7", "46:47", "SWR1:SWR2")])
        self.assertEqual([o.get("reg") for o in by["R"].findall("opt")], ["HB-CAA"])
        self.assertFalse(by["G1-2"].findall("opt") or by["H"].findall("opt"))

    def test_bad_input_is_refused_with_its_place_and_nothing_is_written(self):
        cases = [
            ("latitude", {"stands": ["XAAA,parking,gate,G,91,8.55,0,20,,"]},
             "stands.csv.gz:2: lat 91 is outside"),
            ("longitude", {"stands": ["XAAA,parking,gate,G,47,east,0,20,,"]},
             "stands.csv.gz:2: lon 'east' is not a number"),
            ("heading", {"stands": ["XAAA,parking,gate,G,47,8,nan,20,,"]},
             "stands.csv.gz:2: heading nan is outside"),
            ("null island", {"stands": ["XAAA,apt15,,G,0,0,0,,,"]},
             "stands.csv.gz:2: stand at latitude 0, longitude 0"),
            ("type", {"stands": ["XAAA,parking,tarmac,G,47,8,0,20,,"]},
             "stands.csv.gz:2: unknown parking type 'tarmac'"),
            ("airline", {"stands": ["XAAA,parking,gate,G,47,8,0,20,,NONE"]},
             "stands.csv.gz:2: bad airline codes 'NONE'"),
            ("fields", {"stands": ["XAAA,parking,gate,G,47,8,0"]},
             "stands.csv.gz:2: wrong number of fields"),
            ("airport", {"stands": ["XZZZ,parking,gate,G,47,8,0,20,,"]},
             "stands.csv.gz:2: airport 'XZZZ' is not in airports.xml"),
            ("stay", {"visits": ["XAAA,10,0,SWR,A320,HB-IJA,,SWR1"]},
             "visits.csv.gz:2: stay 0 is outside"),
            ("visit elsewhere", {"visits": ["XBBB,10,30,SWR,A320,HB-IJA,,SWR1"]},
             "visits.csv.gz:2: airport 'XBBB' has no stands"),
            ("count", {"count": 3}, "airports.xml stands counts differ"),
            ("truncated", {"standsFile": gz([STAND_HEADER] + GOOD_STANDS)[:-12]},
             "stands.csv.gz"),
        ]
        for name, args, message in cases:
            with self.subTest(name):
                r, folder = self.run_generator(**args)
                self.assertEqual(r.returncode, 1, r.stdout)
                self.assertIn(message, r.stderr)
                self.assertIn("no stock file written", r.stderr)
                self.assertFalse(folder.exists() and any(folder.iterdir()))


if __name__ == "__main__":
    unittest.main()
