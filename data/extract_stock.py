#!/usr/bin/env python3
"""Extracts the facts behind the stock airport files into data/stock/ (run by hand, once).

Usage: data/extract_stock.py [--refdata DIR] [--flightgear DIR] [--out DIR]

--refdata     ../shared/data/refdata beside the project (see its MANIFEST.md)
--flightgear  the FlightGear data folder of Debian's flightgear-data-base; by default
              ~/.cache/wendle-fg/base/usr/share/games/flightgear, fetched there with
              apt-get download and dpkg-deb when missing (only the ground networks are
              unpacked)
--out         data/stock

It writes stands.csv.gz (the stands of every airport of data/airports.xml, one source per
airport), visits.csv.gz (the weekly stays of FlightGear's scheduled aircraft at those
airports) and names.csv (their names). The build turns them into the stock files
(make_stock_files.py). The rules are in data/README.md. Python 3 standard library only;
the output is deterministic.
"""

import argparse
import bisect
import collections
import csv
import gzip
import io
import itertools
import re
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

import build_refdata

HERE = Path(__file__).resolve().parent
DEFAULT_REFDATA = HERE.parent.parent / "shared" / "data" / "refdata"
CACHE = Path.home() / ".cache" / "wendle-fg"
DEFAULT_FLIGHTGEAR = CACHE / "base" / "usr" / "share" / "games" / "flightgear"

STAND_COLUMNS = ["icao", "source", "type", "name", "lat", "lon", "heading", "radius_m",
                 "aircraft", "airlines"]
VISIT_COLUMNS = ["icao", "arr", "stay", "airline", "type", "reg", "cargo", "cs"]
WEEK = 7 * 24 * 60
MIN_TURN = 20          # minutes an aircraft stands at least between arrival and departure
MAX_STAY = 48 * 60     # longer matches are artefacts of unbalanced schedules

# Startup locations that are hold points or runway ends, not places to park.
NOT_A_STAND = re.compile(r"\bhold|holding|\brwy|runway|threshold|taxiing|^anchor", re.I)
FG_POSITION = re.compile(r"^([NSEW])\s*(\d{1,3})\s+(\d{1,2}(?:\.\d+)?)$")


def fgDegrees(text):
    """FlightGear's "N47 27.209" (hemisphere, degrees, decimal minutes) in degrees."""
    m = FG_POSITION.match(text.strip())
    if not m:
        raise ValueError(f"bad FlightGear position '{text}'")
    v = int(m.group(2)) + float(m.group(3)) / 60.0
    return -v if m.group(1) in "SW" else v


def number(text):
    v = float(text)
    return f"{v:.7f}".rstrip("0").rstrip(".") if v != int(v) else str(int(v))


def fgName(name, number):
    """FlightGear shows a position as its name followed by its number; many older files
    already carry the number at the end of the name."""
    name, number = name.strip(), number.strip()
    return name if name.endswith(number) else name + number


def airlineList(text):
    """FlightGear's comma-separated airline codes; "NONE" marks a position no airline uses."""
    return "|".join(c.strip() for c in text.split(",") if c.strip() and c.strip() != "NONE")


def ensureFlightGear(folder):
    """The ground networks of flightgear-data-base, fetched into the cache when missing."""
    if (folder / "Scenery" / "Airports").is_dir():
        return folder
    if folder != DEFAULT_FLIGHTGEAR:
        raise SystemExit(f"{folder} holds no Scenery/Airports")
    CACHE.mkdir(parents=True, exist_ok=True)
    print("fetching flightgear-data-base (about 1.3 GB) into", CACHE)
    subprocess.run(["apt-get", "download", "flightgear-data-base"], cwd=CACHE, check=True)
    deb = sorted(CACHE.glob("flightgear-data-base_*.deb"))[-1]
    (CACHE / "base").mkdir(exist_ok=True)
    tar = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", str(deb)], stdout=subprocess.PIPE)
    subprocess.run(["tar", "-x", "-C", str(CACHE / "base"), "--wildcards", "*.groundnet.xml"],
                   stdin=tar.stdout, check=True)
    if tar.wait() != 0:
        raise SystemExit(f"dpkg-deb could not read {deb}")
    return folder


def readGroundnets(folder):
    """Parking positions of FlightGear's scenery ground networks, by airport."""
    out = {}
    for path in sorted((folder / "Scenery" / "Airports").glob("*/*/*/*.groundnet.xml")):
        code = path.name.split(".")[0]
        rows = []
        for p in ET.parse(path).getroot().iter("Parking"):
            a = p.attrib
            rows.append({"type": a.get("type", ""),
                         "name": fgName(a.get("name", ""), a.get("number", "")),
                         "lat": number(str(round(fgDegrees(a["lat"]), 7))),
                         "lon": number(str(round(fgDegrees(a["lon"]), 7))),
                         "heading": number(a.get("heading", "0")),
                         "radius_m": number(a.get("radius", "0")),
                         "aircraft": "",
                         "airlines": airlineList(a.get("airlineCodes", ""))})
        if rows:
            out[code] = rows
    return out


def readCsv(path):
    opener = gzip.open if path.suffix == ".gz" else open
    with opener(path, "rt", encoding="utf-8", newline="") as f:
        return list(csv.DictReader(f))


def readParking(src):
    """The older AI/Airports/<code>/parking.xml of flightgear-data-ai, as MANIFEST.md converts it."""
    out = collections.defaultdict(list)
    for r in readCsv(src / "flightgear-ai-parking.csv.gz"):
        out[r["icao"]].append({
            "type": r["type"], "name": fgName(r["name"], r["number"]),
            "lat": number(r["lat"]), "lon": number(r["lon"]), "heading": number(r["heading"]),
            "radius_m": number(r["radius_m"] or "0"), "aircraft": "",
            "airlines": airlineList(r["airline_codes"])})
    return out


def readStartup(src):
    """apt.dat startup locations: row code 1300 where an airport has them, else row code 15."""
    modern = collections.defaultdict(list)
    for r in readCsv(src / "apt-startup-locations.csv.gz"):
        modern[r["icao"]].append({
            "type": r["loc_type"], "name": r["name"].strip(), "lat": number(r["lat"]),
            "lon": number(r["lon"]), "heading": number(r["heading"]), "radius_m": "",
            "aircraft": r["aircraft_types"],
            "airlines": "|".join(c for c in r["airlines"].split() if c)})
    legacy = collections.defaultdict(list)
    for r in readCsv(src / "apt-startup-locations-legacy15.csv.gz"):
        legacy[r["icao"]].append({
            "type": "", "name": r["name"].strip(), "lat": number(r["lat"]),
            "lon": number(r["lon"]), "heading": number(r["heading"]), "radius_m": "",
            "aircraft": "", "airlines": ""})
    return modern, legacy


def airportCodes():
    text = (HERE / "airports.xml").read_text(encoding="utf-8")
    return sorted(set(re.findall(r'<airport code="([A-Z]{4})"', text)))


def chooseStands(codes, groundnets, parking, modern, legacy):
    stands = {}
    for code in codes:
        for source, table in (("groundnet", groundnets), ("parking", parking),
                              ("apt1300", modern), ("apt15", legacy)):
            rows = table.get(code, [])
            if source.startswith("apt"):
                rows = [r for r in rows if not NOT_A_STAND.search(r["name"])]
            if rows:
                stands[code] = [dict(r, icao=code, source=source) for r in rows]
                break
    return stands


# ---------------------------------------------------------------------------
# Visits: an aircraft stands at its arrival airport from its arrival until its next departure.

def weekMinute(text, day=None):
    """FlightGear's "D/HH:MM:SS" (D = 0 for Sunday) or "HH:MM:SS" as minutes from Monday 00:00."""
    if "/" in text:
        d, text = text.split("/")
        day = int(d)
    h, m, _ = (int(x) for x in text.split(":"))
    return ((day + 6) % 7) * 1440 + h * 60 + m


def callsign(text, airline):
    c = re.sub(r"[\s()]", "", text).upper()
    if not airline or c.startswith(airline):
        return c
    m = re.search(r"(\d+[A-Z]{0,2})$", c)
    return airline + m.group(1) if m else c


def readFlights(src):
    """Every scheduled flight of a week: (pool, dep port, dep minute, arr port, arr minute, cs)."""
    flights = []
    for r in readCsv(src / "flightgear-ai-schedules.csv.gz"):
        pool, dep, arr = r["required_aircraft"], r["dep_port"], r["arr_port"]
        if r["repeat"] == "WEEK":
            if "/" not in r["dep_time"] or "/" not in r["arr_time"]:
                continue  # a weekly flight without its day: no time to place it at
            flights.append((pool, dep, weekMinute(r["dep_time"]), arr,
                            weekMinute(r["arr_time"]), r["callsign"]))
        elif r["repeat"] == "24Hr":
            for day in range(7):
                d = weekMinute(r["dep_time"], day)
                a = weekMinute(r["arr_time"], day)
                if a < d:
                    a += 1440
                flights.append((pool, dep, d, arr, a % WEEK, r["callsign"]))
    return flights


def readPools(src):
    known = set(re.findall(r'types="([^"]*)"',
                           (HERE / "dbase.xml").read_text(encoding="utf-8").split("<aircrafts>")[1]
                           .split("</aircrafts>")[0]))
    known = {t for group in known for t in group.split(",")}
    pools = collections.defaultdict(list)
    for row in readCsv(src / "flightgear-ai-fleet.csv"):
        reg = row["registration"].strip()
        icao = build_refdata.lf_fleetType(row)
        if not reg or icao not in known:
            continue
        airline = row["airline"].strip()
        airline = airline if build_refdata.AIRLINE_CODE.match(airline) else ""
        pools[row["required_aircraft"]].append((reg, airline, icao,
                                                "1" if row["flighttype"] == "cargo" else ""))
    return {k: sorted(set(v)) for k, v in pools.items()}


def matchStays(arrivals, departures):
    """First in, first out over two weeks, so that stays across the week's end are found;
    the stays of the second week's arrivals are the weekly pattern."""
    deps = sorted((t + k * WEEK, cs) for t, cs in departures for k in range(3))
    times = [t for t, _ in deps]
    stays = []
    for t, cs in sorted((t + k * WEEK, cs) for t, cs in arrivals for k in range(2)):
        i = bisect.bisect_left(times, t + MIN_TURN)
        if i == len(times):
            continue
        d, dcs = deps.pop(i)
        times.pop(i)
        if t >= WEEK and d - t <= MAX_STAY:
            stays.append((t - WEEK, d - t, cs, dcs))
    return stays


def slotMask(arr, stay):
    """The half hours of the week (bit n = the n-th half hour from Monday 00:00) of a stay."""
    first, last = arr // 30, (arr + stay - 1) // 30
    mask = 0
    for n in range(first, last + 1):
        mask |= 1 << (n % (WEEK // 30))
    return mask


def roomFor(visits, stands):
    """The stays that find room in arrival order if every stand took every aircraft: the
    others cannot be placed by the build either, and are left out here to keep the file small."""
    taken = [0] * stands
    kept = set()
    for v in visits:
        mask = slotMask(v["arr"], v["stay"])
        for i, t in enumerate(taken):
            if not t & mask:
                taken[i] = t | mask
                kept.add(id(v))
                break
    return kept


def buildVisits(src, stands):
    pools = readPools(src)
    byPort = collections.defaultdict(lambda: ([], []))
    for pool, dep, dm, arr, am, cs in readFlights(src):
        if pool not in pools:
            continue
        if arr in stands:
            byPort[(pool, arr)][0].append((am, cs))
        if dep in stands:
            byPort[(pool, dep)][1].append((dm, cs))
    visits = []
    keep = {}
    for (pool, code), (arrivals, departures) in sorted(byPort.items()):
        members = pools[pool]
        for i, (t, stay, cin, cout) in enumerate(matchStays(arrivals, departures)):
            reg, airline, icao, cargo = members[i % len(members)]
            cs = [callsign(cin, airline), callsign(cout, airline)]
            visits.append({"icao": code, "arr": t, "stay": stay, "airline": airline,
                           "type": icao, "reg": reg, "cargo": cargo,
                           "cs": cs[0] if cs[0] == cs[1] else ":".join(cs)})
    visits.sort(key=lambda v: (v["icao"], v["arr"], v["reg"], v["cs"]))
    for code, group in itertools.groupby(visits, key=lambda v: v["icao"]):
        keep[code] = roomFor(list(group), len(stands[code]))
    return [v for v in visits if v["icao"] in keep and id(v) in keep[v["icao"]]]


def writeCsv(path, columns, rows):
    text = io.StringIO()
    w = csv.DictWriter(text, columns, lineterminator="\n", extrasaction="ignore")
    w.writeheader()
    w.writerows(rows)
    data = text.getvalue().encode("utf-8")
    if path.suffix == ".gz":
        with open(path, "wb") as f, gzip.GzipFile(fileobj=f, mode="wb", mtime=0,
                                                  filename="") as z:
            z.write(data)
    else:
        path.write_bytes(data)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--refdata", type=Path, default=DEFAULT_REFDATA)
    ap.add_argument("--flightgear", type=Path, default=DEFAULT_FLIGHTGEAR)
    ap.add_argument("--out", type=Path, default=HERE / "stock")
    args = ap.parse_args(argv)
    if not args.refdata.is_dir():
        raise SystemExit(f"source folder {args.refdata} not found")
    groundnets = readGroundnets(ensureFlightGear(args.flightgear))
    modern, legacy = readStartup(args.refdata)
    stands = chooseStands(airportCodes(), groundnets, readParking(args.refdata), modern, legacy)
    visits = buildVisits(args.refdata, stands)
    names = {r["icao"]: r["name"] for r in readCsv(args.refdata / "airports.csv")}
    args.out.mkdir(parents=True, exist_ok=True)
    writeCsv(args.out / "stands.csv.gz", STAND_COLUMNS,
             [r for code in sorted(stands) for r in stands[code]])
    writeCsv(args.out / "visits.csv.gz", VISIT_COLUMNS, visits)
    writeCsv(args.out / "names.csv", ["icao", "name"],
             [{"icao": c, "name": names.get(c, "")} for c in sorted(stands)])
    sources = collections.Counter(rows[0]["source"] for rows in stands.values())
    print(f"{len(stands)} airports with stands ({dict(sorted(sources.items()))}), "
          f"{sum(len(r) for r in stands.values())} stands, {len(visits)} weekly stays at "
          f"{len({v['icao'] for v in visits})} airports")


if __name__ == "__main__":
    main(sys.argv[1:])
