#!/usr/bin/env python3
"""Turns recorded traffic (OpenSky Network JSON, gzip) into a wendle-rt scenario.

A scenario is JSON lines: a header object, then one report per line with its time
`t` in seconds from the start of the scenario. Registration and ICAO type come from
aircraft-db.csv where the transponder address is known there.

  zurich_airport: ten aircraft at Zurich recorded on different days; each flight
      (split at gaps of more than --max-gap seconds) is moved to start --stagger
      seconds after the one before, so they move around the airport together.
  switzerland: one day over Switzerland; a window of --minutes from --start (UTC)
      within --radius nautical miles of --center keeps its real relative timing.

Python 3 standard library only.
"""

import argparse
import csv
import gzip
import json
import math
import os
import sys

LSZH = (47.464722, 8.549167, 1416.0)


def load_aircraft_db(path):
    db = {}
    with open(path, newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            db[row["icao24"].strip().upper()] = (
                row.get("registration", "").strip(),
                row.get("icao_type", "").strip(),
            )
    return db


def distance_nm(lat1, lon1, lat2, lon2):
    p1, p2 = math.radians(lat1), math.radians(lat2)
    dlat = p2 - p1
    dlon = math.radians(lon2 - lon1)
    a = math.sin(dlat / 2) ** 2 + math.cos(p1) * math.cos(p2) * math.sin(dlon / 2) ** 2
    return 6875.493541569878 * math.atan2(math.sqrt(a), math.sqrt(max(0.0, 1 - a)))


def report(rec, t, db):
    address = rec["icao24"].strip().upper()
    reg, typ = db.get(address, ("", ""))
    out = {
        "t": round(t, 3),
        "id": int(address, 16),
        "lat": round(rec["latitude"], 6),
        "lon": round(rec["longitude"], 6),
        "alt": rec.get("altitude"),
        "gs": None if rec.get("groundspeed") is None else round(rec["groundspeed"], 1),
        "trk": None if rec.get("track") is None else round(rec["track"], 1),
        "vs": rec.get("vertical_rate"),
        "gnd": bool(rec.get("onground", False)),
        "cs": (rec.get("callsign") or "").strip(),
        "type": typ,
        "reg": reg,
    }
    return out


def usable(rec):
    if rec.get("latitude") is None or rec.get("longitude") is None:
        return False
    if not rec.get("icao24"):
        return False
    # An airborne report needs its altitude; on the ground it is sent as 0.
    return rec.get("altitude") is not None or rec.get("onground", False)


def zurich_airport(records, db, args):
    by_aircraft = {}
    for rec in records:
        if usable(rec):
            by_aircraft.setdefault(rec["icao24"], []).append(rec)
    flights = []
    for recs in by_aircraft.values():
        recs.sort(key=lambda r: r["timestamp"])
        current = [recs[0]]
        for prev, rec in zip(recs, recs[1:]):
            if rec["timestamp"] - prev["timestamp"] > args.max_gap * 1000:
                flights.append(current)
                current = []
            current.append(rec)
        flights.append(current)
    flights.sort(key=lambda f: f[0]["timestamp"])
    out = []
    limit_ms = args.max_flight_minutes * 60 * 1000
    for k, flight in enumerate(flights):
        start = flight[0]["timestamp"]
        for rec in flight:
            if rec["timestamp"] - start > limit_ms:
                break
            out.append(report(rec, k * args.stagger + (rec["timestamp"] - start) / 1000.0, db))
    return out, len(flights)


def switzerland(records, db, args):
    day = min(r["timestamp"] for r in records) // 86400000 * 86400000
    hh, mm = (int(x) for x in args.start.split(":"))
    begin = day + (hh * 3600 + mm * 60) * 1000
    end = begin + args.minutes * 60 * 1000
    lat, lon = args.center
    out = []
    aircraft = set()
    for rec in records:
        if not (begin <= rec["timestamp"] < end) or not usable(rec):
            continue
        if distance_nm(lat, lon, rec["latitude"], rec["longitude"]) > args.radius:
            continue
        out.append(report(rec, (rec["timestamp"] - begin) / 1000.0, db))
        aircraft.add(rec["icao24"])
    return out, len(aircraft)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--data", required=True, help="folder with the recordings and aircraft-db.csv")
    ap.add_argument("--source", required=True, choices=["zurich_airport", "switzerland"])
    ap.add_argument("--out", required=True)
    ap.add_argument("--stagger", type=float, default=20.0)
    ap.add_argument("--max-gap", type=float, default=300.0)
    ap.add_argument("--max-flight-minutes", type=float, default=20.0)
    ap.add_argument("--start", default="07:00")
    ap.add_argument("--minutes", type=float, default=20.0)
    ap.add_argument("--center", type=lambda s: tuple(float(x) for x in s.split(",")),
                    default=LSZH[:2])
    ap.add_argument("--radius", type=float, default=60.0)
    args = ap.parse_args()

    db = load_aircraft_db(os.path.join(args.data, "aircraft-db.csv"))
    with gzip.open(os.path.join(args.data, args.source + ".json.gz"), "rt", encoding="utf-8") as f:
        records = json.load(f)
    if args.source == "zurich_airport":
        reports, flights = zurich_airport(records, db, args)
    else:
        reports, flights = switzerland(records, db, args)
    reports.sort(key=lambda r: r["t"])
    known = sum(1 for r in reports if r["type"])
    header = {
        "scenario": args.source,
        "source": "OpenSky Network recording (see shared/data/MANIFEST.md)",
        "center": [LSZH[0], LSZH[1]] if args.source == "zurich_airport" else list(args.center),
        "elevation_ft": LSZH[2],
        "reports": len(reports),
        "flights": flights,
    }
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    tmp = args.out + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(json.dumps(header, separators=(",", ":")) + "\n")
        for r in reports:
            f.write(json.dumps(r, separators=(",", ":")) + "\n")
    os.replace(tmp, args.out)
    print(f"make_scenario: {args.out}: {len(reports)} reports of {flights} flights, "
          f"{known} with a known type")
    return 0


if __name__ == "__main__":
    sys.exit(main())
