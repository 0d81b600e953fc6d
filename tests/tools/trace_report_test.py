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
        p = self.run_tool(ev, "--png", png)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertIn(f"picture: {png}", p.stdout)
        with open(png, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")


if __name__ == "__main__":
    unittest.main()
