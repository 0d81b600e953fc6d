#!/usr/bin/env python3
"""trace-report on small synthetic traces of wendle-sim: the figures it prints and the exit
status of --check. Run by CTest; TRACE_REPORT names the tool (default: the source tree's)."""

import json
import math
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.environ.get("TRACE_REPORT") or os.path.join(HERE, "..", "..", "tools", "trace-report",
                                                      "trace-report")
GROUND = 1411.0
REST = 5.0
LAT0, LON0 = 47.40, 8.60


def fly(oid, tail, legs, t0=0.0, dt=0.5, alt=GROUND + 1000, hdg=275.0, lat=LAT0, lon=LON0):
    """Events of one AI object flying `legs` of (seconds, knots, fpm, deg/s turn); an airborne
    leg ends early when the object reaches its resting height, as wendle-sim clamps it."""
    ev = [{"t": t0, "ev": "create", "oid": oid, "title": f"Test {tail}", "tail": tail,
           "lat": lat, "lon": lon, "alt_ft": alt, "hdg_deg": hdg, "on_ground": False}]
    t = t0
    for seconds, kt, fpm, turn in legs:
        end = t + seconds
        while t < end - 1e-9:
            t += dt
            hdg = (hdg + turn * dt) % 360
            d = kt * 1852 / 3600 * dt
            lat += d * math.cos(math.radians(hdg)) / 111195
            lon += d * math.sin(math.radians(hdg)) / (111195 * math.cos(math.radians(lat)))
            alt = max(GROUND + REST, alt + fpm / 60 * dt)
            gnd = alt <= GROUND + REST + 1
            ev.append({"t": round(t, 3), "ev": "pos", "oid": oid, "lat": lat, "lon": lon,
                       "alt_ft": alt, "pitch_deg": 0, "bank_deg": 0, "hdg_deg": hdg,
                       "vs_fps": 0 if gnd else fpm / 60, "tas_kt": kt, "on_ground": gnd})
            if gnd and fpm < 0:
                end = t  # touched down: the next leg rolls out
    return ev


LANDING = [(20, 140, -700, 0), (10, 140, -700, 2), (200, 135, -300, 0),
           (20, 60, 0, 0), (12, 15, 0, 8), (10, 15, 0, 0)]


def drive(oid, tail, legs, lat=LAT0, lon=LON0, hdg=90.0, t0=0.0, dt=0.5, create=True):
    """Events of an AI object on the ground: `legs` of (seconds, knots (negative: backwards),
    deg/s turn, fpm); a climbing leg lifts it off. Gives the events and where it ended."""
    alt = GROUND + REST
    ev = [{"t": t0, "ev": "create", "oid": oid, "title": f"Test {tail}", "tail": tail,
           "lat": lat, "lon": lon, "alt_ft": alt, "hdg_deg": hdg, "on_ground": True}] if create \
        else []
    t = t0
    for seconds, kt, turn, fpm in legs:
        for _ in range(round(seconds / dt)):
            t += dt
            hdg = (hdg + turn * dt) % 360
            d = kt * 1852 / 3600 * dt
            lat += d * math.cos(math.radians(hdg)) / 111195
            lon += d * math.sin(math.radians(hdg)) / (111195 * math.cos(math.radians(lat)))
            alt = max(GROUND + REST, alt + fpm / 60 * dt)
            ev.append({"t": t, "ev": "pos", "oid": oid, "lat": lat, "lon": lon, "alt_ft": alt,
                       "hdg_deg": hdg, "vs_fps": fpm / 60 if alt > GROUND + REST else 0,
                       "tas_kt": abs(kt), "on_ground": alt <= GROUND + REST})
    return ev, (lat, lon, hdg, t)


def stands_xml(path, stands):
    with open(path, "w") as f:
        f.write('<?xml version="1.0"?>\n<root><parkpositions>\n')
        for sid, lat, lon, hdg in stands:
            f.write(f'<parkpos id="{sid}" latitude="{lat:.7f}" longitude="{lon:.7f}" '
                    f'heading="{hdg:.2f}" radius="20.0"/>\n')
        f.write('<parkpos id="broken" latitude="47.4"/>\n</parkpositions></root>\n')


def write(path, events, extra=()):
    with open(path, "w") as f:
        for e in events:
            f.write(json.dumps(e) + "\n")
        for line in extra:
            f.write(line + "\n")


class TraceReport(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.scenario = os.path.join(self.dir.name, "scenario.json")
        with open(self.scenario, "w") as f:
            json.dump({"user": {"title": "U", "lat": LAT0, "lon": LON0, "alt_ft": GROUND + REST,
                                "on_ground": True}}, f)

    def tearDown(self):
        self.dir.cleanup()

    def run_tool(self, events, *args, extra=()):
        path = os.path.join(self.dir.name, "trace.jsonl")
        write(path, events, extra)
        p = subprocess.run([sys.executable, TOOL, path, *args], capture_output=True, text=True,
                           timeout=120)
        self.assertNotIn("Traceback", p.stderr)
        return p

    def figures(self, events, *args):
        p = self.run_tool(events, "--json", "--scenario", self.scenario, *args)
        return p.returncode, json.loads(p.stdout)

    def test_good_flight_with_noise_and_a_recreated_object(self):
        ev = [{"t": 0, "ev": "state", "sim": "running"},
              {"t": 0, "ev": "user", "lat": LAT0, "lon": LON0, "alt_ft": 1416, "hdg_deg": 0,
               "gs_kt": 0, "on_ground": True}]
        ev += fly(2, "HB-JJK", LANDING)
        ev += [{"t": 400, "ev": "remove", "oid": 2}]
        ev += fly(2, "HB-JJL", [(30, 250, 1500, 1)], t0=410, alt=GROUND + 3000)
        junk = ["{", "[]", "null", '{"ev":"pos","t":1}', '{"ev":"pos","oid":2,"t":"x"}',
                '{"t":5,"ev":"pos","oid":9,"lat":47.4,"lon":8.6,"alt_ft":1416.0,"tas_kt":']
        p = self.run_tool(ev, "--scenario", self.scenario, "--check", extra=junk)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        self.assertIn("check: passed", p.stdout)
        self.assertIn("2 AI objects created", p.stdout)
        self.assertIn("6 of ", p.stdout)  # the lines not understood are counted
        rc, rep = self.figures(ev)
        self.assertEqual(rc, 0)
        self.assertEqual(rep["ground_ft"], GROUND)
        first, second = rep["aircraft"]
        self.assertEqual((first["oid"], first["tail"], second["tail"]), (2, "HB-JJK", "HB-JJL"))
        self.assertEqual(first["landings"], 1)
        self.assertEqual([x["to"] for x in first["transitions"]], ["ground"])
        self.assertAlmostEqual(first["touchdowns"][0]["fpm"], 300, delta=25)
        self.assertLess(first["max_step_ratio"], 1.01)
        self.assertAlmostEqual(first["max_heading_rate_air"], 2.0, delta=0.01)
        self.assertAlmostEqual(first["max_heading_rate_ground"], 8.0, delta=0.01)
        self.assertAlmostEqual(first["min_height_ft"], REST, delta=0.01)
        ph = first["phases"]
        self.assertGreater(ph["descent"], 0)
        self.assertGreater(ph["ground"], 0)
        self.assertEqual(ph["climb"], 0)
        self.assertEqual(second["phases"]["climb"], second["samples"])
        self.assertEqual(rep["total"]["created"], 2)
        self.assertEqual(rep["failures"], [])
        # Without the scenario the ground is the lowest altitude seen on the ground.
        p = self.run_tool(ev, "--json")
        self.assertAlmostEqual(json.loads(p.stdout)["aircraft"][0]["min_height_ft"], REST)

    def test_each_fault_fails_the_check_and_only_the_check(self):
        teleport = fly(3, "TELE", LANDING)
        teleport[40]["lat"] += 0.02  # 2 km away for one sample
        bounce = fly(4, "BOUNCE", [(20, 140, -700, 0), (210, 135, -300, 0), (3, 135, 400, 0),
                                   (20, 135, -300, 0), (10, 60, 0, 0)])
        below = fly(5, "DEEP", LANDING)
        below[-5]["alt_ft"] = GROUND - 12
        turn = fly(6, "TURN", [(10, 250, 0, 20)], alt=GROUND + 5000)
        cases = {"TELE": (teleport, "times what 140 kt allows"),
                 "BOUNCE": (bounce, "touched down again"),
                 "DEEP": (below, "12.0 ft below the ground"),
                 "TURN": (turn, "airborne heading rate 20.0 deg/s")}
        for tail, (ev, message) in cases.items():
            with self.subTest(tail):
                p = self.run_tool(ev, "--scenario", self.scenario, "--check")
                self.assertEqual(p.returncode, 1, p.stdout)
                fails = [l for l in p.stdout.splitlines() if l.startswith("FAIL")]
                self.assertEqual(len(fails), 1, p.stdout)
                self.assertIn(message, fails[0])
                self.assertEqual(self.run_tool(ev, "--scenario", self.scenario).returncode, 0)
        rc, rep = self.figures(teleport)
        self.assertGreater(rep["aircraft"][0]["max_step_ratio"], 10)
        rc, rep = self.figures(bounce)
        self.assertEqual(rep["aircraft"][0]["landings"], 1)
        self.assertEqual([x["to"] for x in rep["aircraft"][0]["transitions"]],
                         ["ground", "air", "ground"])

    def test_ground_departure_and_arrival_at_stands(self):
        # A pushes back from stand A1, waits beside stand A9 (facing elsewhere: no parking),
        # taxis and takes off; B lands, taxis to stand B2 and parks there.
        a_lat = LAT0 - 0.02
        dep, (plat, plon, phdg, _) = drive(2, "A320-DEP", [(30, 0, 0, 0), (20, -3, 0, 0),
                                                         (10, -3, 6, 0)], lat=a_lat)
        more, _ = drive(2, "", [(25, 0, 0, 0), (60, 15, 0, 0), (10, 15, 6, 0), (40, 120, 0, 0),
                                (20, 150, 0, 1500)], plat, plon, phdg, dep[-1]["t"], create=False)
        arr = fly(3, "B738-ARR", LANDING)
        last = arr[-1]
        taxi, (blat, blon, bhdg, _) = drive(3, "", [(10, 15, 0, 0), (40, 0, 0, 0)], last["lat"],
                                            last["lon"], last["hdg_deg"], last["t"], create=False)
        stands = os.path.join(self.dir.name, "stands.xml")
        stands_xml(stands, [("A1", a_lat, LON0, 90.0), ("A9", plat, plon, phdg + 40),
                            ("B2", blat + 0.5 / 111195, blon, bhdg + 1)])
        static = {"t": 0, "ev": "create", "oid": 4, "title": "Test A320", "tail": "STATIC",
                  "lat": a_lat + 60 / 111195, "lon": LON0, "alt_ft": GROUND + REST,
                  "hdg_deg": 0.0, "on_ground": True}
        ev = dep + more + arr + taxi + [static]
        p = self.run_tool(ev, "--scenario", self.scenario, "--stands", stands, "--check")
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        self.assertIn("ground: 3 stands; 2 parked at a stand (worst 0.50 m, 1.0 deg)", p.stdout)
        rc, rep = self.figures(ev, "--stands", stands)
        a, b, _ = (r["ground"] for r in rep["aircraft"])
        self.assertEqual(([x["stand"] for x in a["parkings"]], [x["stand"] for x in b["parkings"]]),
                         (["A1"], ["B2"]))
        self.assertAlmostEqual(b["parkings"][0]["m"], 0.5, delta=0.05)
        self.assertAlmostEqual(b["parkings"][0]["hdg_diff"], 1.0, delta=0.01)
        self.assertEqual(len(a["pushbacks"]), 1)
        self.assertAlmostEqual(a["pushbacks"][0]["m"], 46, delta=2)
        self.assertEqual((a["reversals"], b["pushbacks"]), ([], []))
        self.assertEqual((a["type"], a["category"], b["type"]), ("A320", "large", "B738"))
        self.assertAlmostEqual(a["heading_rate"], 6.0, delta=0.01)
        self.assertEqual([x["kt"] for x in a["liftoffs"]], [150.0])
        g = rep["total"]["ground"]
        self.assertEqual((g["separation"]["a_tail"], g["separation"]["b_tail"]),
                         ("A320-DEP", "STATIC"))
        self.assertAlmostEqual(g["separation"]["m"], 60, delta=1)
        self.assertEqual((g["pushbacks"], g["liftoffs"], g["separation"]["conflict_seconds"]),
                         (1, 1, 0))
        # Without stands any long stop counts as parking, and none is measured.
        rc, rep = self.figures(ev)
        self.assertEqual((rc, rep["total"]["ground"]["at_stands"]), (0, 0))

    def test_each_ground_fault_fails_the_check(self):
        stands = os.path.join(self.dir.name, "stands.xml")
        east = 20 / (111195 * math.cos(math.radians(LAT0)))
        stands_xml(stands, [("S", LAT0, LON0, 90.0), ("S2", LAT0, LON0 + east, 90.0)])
        wait = (25, 0, 0, 0)
        static = {"t": 0, "ev": "create", "oid": 3, "title": "Test A320", "tail": "NEXT",
                  "lat": LAT0, "lon": LON0 + east, "alt_ft": GROUND + REST, "hdg_deg": 90.0,
                  "on_ground": True}
        cases = {
            "OFF": (drive(2, "A320", [wait], lat=LAT0 + 3 / 111195)[0], "3.0 m from stand S"),
            "SKEW": (drive(2, "A320", [wait], hdg=95)[0], "heading 5.0 deg off"),
            "FWDBACK": (drive(2, "A320", [wait, (10, 5, 0, 0), (10, -3, 0, 0)])[0],
                        "moved backwards at t=35.0 after moving forwards from t=25.0"),
            "LONGPUSH": (drive(2, "A320", [wait, (50, -3, 0, 0), (10, 0, 0, 0), (50, -3, 0, 0)])[0],
                         "154.3 m backwards"),
            "B744": (drive(2, "B744", [wait, (10, 10, 7, 0)])[0], "7.0 deg/s (heavy: 6.0)"),
            "HOP": (drive(2, "A320", [wait, (20, 10, 0, 0), (10, 10, 0, 1500)])[0],
                    "left the ground at t=45.5 after 10.0 kt at most"),
            "CLOSE": (drive(2, "A320", [wait])[0] + [static],
                      "20.0 m apart at t=0, closer than their half wingspans (35.8 m)"),
            "USER": (drive(2, "A320", [wait])[0] + [
                {"t": 1, "ev": "user", "lat": LAT0, "lon": LON0 + east, "on_ground": True}],
                     "oid 2 (A320) and the user on the ground 20.0 m apart"),
        }
        for tail, (ev, message) in cases.items():
            with self.subTest(tail):
                args = ("--scenario", self.scenario, "--stands", stands)
                p = self.run_tool(ev, *args, "--check")
                self.assertEqual(p.returncode, 1, p.stdout)
                fails = [l for l in p.stdout.splitlines() if l.startswith("FAIL")]
                self.assertEqual(len(fails), 1, p.stdout)
                self.assertIn(message, fails[0])
                self.assertEqual(self.run_tool(ev, *args).returncode, 0)
        # The turn a heavy may not make suits a large aircraft.
        ev = drive(2, "A320", [wait, (10, 10, 7, 0)])[0]
        self.assertEqual(self.run_tool(ev, "--stands", stands, "--check").returncode, 0)
        with open(stands, "w") as f:
            f.write("<root><parkpos")
        self.assertEqual(self.run_tool(ev, "--stands", stands).returncode, 2)

    def test_empty_trace_and_bad_input(self):
        p = self.run_tool([{"t": 0, "ev": "state", "sim": "running"}])
        self.assertEqual(p.returncode, 0)
        self.assertIn("0 AI objects created", p.stdout)
        self.assertIn("no AI aircraft", p.stdout)
        self.assertEqual(self.run_tool([], "--check").returncode, 0)
        missing = subprocess.run([sys.executable, TOOL, os.path.join(self.dir.name, "none")],
                                 capture_output=True, text=True, timeout=60)
        self.assertEqual(missing.returncode, 2)

    def test_picture(self):
        try:
            import matplotlib  # noqa: F401
        except ImportError:
            if not os.path.exists("/usr/bin/python3") or subprocess.run(
                    ["/usr/bin/python3", "-c", "import matplotlib"]).returncode != 0:
                self.skipTest("matplotlib is not installed")
        png = os.path.join(self.dir.name, "t.png")
        ev = [{"t": 0, "ev": "user", "lat": LAT0, "lon": LON0, "alt_ft": 1416, "hdg_deg": 0,
               "gs_kt": 0, "on_ground": True}] + fly(2, "HB-JJK", LANDING)
        stands = os.path.join(self.dir.name, "stands.xml")
        stands_xml(stands, [("S", LAT0, LON0 + 0.001, 180.0)])
        p = self.run_tool(ev, "--png", png, "--stands", stands)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertIn(f"picture: {png}", p.stdout)
        with open(png, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")


if __name__ == "__main__":
    unittest.main()
