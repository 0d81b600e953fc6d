#!/usr/bin/env python3
"""Writes the stock airport files of the download server: <out>/downloads/P3D/<code>.xml.

Usage: data/make_stock_files.py --out SERVER_FOLDER [--data DIR] [--version X.Y.Z]

Reads data/airports.xml, data/dbase.xml and the facts of data/stock/ (made by
extract_stock.py) and writes one airport file per airport with stands. Every input row is
checked first; a bad one stops the run with its file, line and fault, before anything is
written. The rules are in data/README.md. Python 3 standard library only; deterministic.
"""

import argparse
import collections
import csv
import gzip
import math
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path
from xml.sax.saxutils import quoteattr

HERE = Path(__file__).resolve().parent
WEEK = 7 * 24 * 60
SLOTS = WEEK // 30
MAX_STAY = 48 * 60
FIT_MARGIN_M = 1.8      # an aircraft this much wider than a stand still fits (the stand search)
EARTH_RADIUS_M = 6371008.8

# What a startup location takes (apt.dat's aircraft classes): the largest half span of these
# types in the wingspan table; helicopter pads have a hand-kept radius (no rotor diameters).
CLASS_TYPES = {
    "heavy": ["A333", "A346", "A359", "B744", "B77W", "B789"],
    "jets": ["A321", "B739", "B752", "E190", "CRJ9"],
    "turboprops": ["AT76", "DH8D", "SF34"],
    "props": ["C172", "P28A", "BE58", "C182"],
}
HELO_RADIUS_M = 7.0
# Half spans of types the wingspan table does not know, by size category.
DEFAULT_HALF_SPAN = {"hvy": 32.0, "lar": 17.0, "bzj": 9.0, "rot": 7.0, "hpf": 6.0, "": 5.5}

# FlightGear parking types: (ramp, cargo, the class of a position without a radius).
FG_TYPES = {"gate": (False, False, "jets"), "ga": (True, False, "props"),
            "cargo": (False, True, "jets"), "mil-cargo": (True, True, "heavy"),
            "mil-fighter": (True, False, "props")}
APT_TYPES = {"gate": False, "tie_down": True, "hangar": True, "misc": True}
APT_CLASSES = set(CLASS_TYPES) | {"helos", "all"}
# Names of startup locations without types (row code 15).
HELI_NAME = re.compile(r"heli|^h\s*\d*$", re.I)
CARGO_NAME = re.compile(r"cargo|freight", re.I)
GATE_NAME = re.compile(r"gate|stand\b|terminal|pier|jetway|contact", re.I)
HEAVY_NAME = re.compile(r"heavy|wide ?body", re.I)
LIGHT_NAME = re.compile(r"\bga\b|ga_|general aviation|grass|tie|glider|ultralight|club|"
                        r"hang[ae]r|private|small|light", re.I)
AIRLINE = re.compile(r"^[A-Z0-9]{2,3}$")
# Characters that XML 1.0 does not allow (some apt.dat names carry them).
CONTROL = re.compile(r"[\x00-\x08\x0b\x0c\x0e-\x1f\x7f\ufffe\uffff]")


class InputError(Exception):
    pass


def fail(path, line, text):
    raise InputError(f"{path}:{line}: {text}")


def readCsv(path, columns):
    opener = gzip.open if path.suffix == ".gz" else open
    try:
        with opener(path, "rt", encoding="utf-8", newline="") as f:
            reader = csv.DictReader(f)
            if reader.fieldnames != columns:
                fail(path, 1, f"columns {reader.fieldnames}, expected {columns}")
            for row in reader:
                if None in row or None in row.values():
                    fail(path, reader.line_num, "wrong number of fields")
                yield reader.line_num, row
    except (OSError, EOFError, UnicodeDecodeError, csv.Error, gzip.BadGzipFile) as e:
        raise InputError(f"{path}: {e}") from e


def real(path, line, row, key, low, high, empty=None):
    text = row[key].strip()
    if not text and empty is not None:
        return empty
    try:
        v = float(text)
    except ValueError:
        fail(path, line, f"{key} '{text}' is not a number")
    if not (math.isfinite(v) and low <= v <= high):
        fail(path, line, f"{key} {text} is outside {low} to {high}")
    return v


# ---------------------------------------------------------------------------
# Inputs.

def readAirports(data):
    path = data / "airports.xml"
    airports = {}
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError) as e:
        raise InputError(f"{path}: {e}") from e
    for a in root.iter("airport"):
        airports[a.get("code", "")] = (a.get("alt", "0"), int(a.get("stands", "0") or 0))
    return airports


def readDbase(data):
    path = data / "dbase.xml"
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError) as e:
        raise InputError(f"{path}: {e}") from e
    spans = {w.get("type"): float(w.get("meters")) for w in root.iter("wingspan")}
    category = {}
    for element in ("hpf", "hvy", "lar", "bzj", "rot"):
        for e in root.iter(element):
            for t in e.get("types", "").split(","):
                category[t] = element
    cargo = {t for e in root.iter("cargo_type") for t in e.get("types", "").split(",")}
    return spans, category, cargo


def classRadii(spans):
    radii = {"helos": HELO_RADIUS_M}
    for name, types in CLASS_TYPES.items():
        known = [spans[t] / 2 for t in types if t in spans]
        if not known:
            raise InputError(f"dbase.xml: no wingspan of {', '.join(types)} ({name})")
        radii[name] = round(max(known), 1)
    radii["all"] = radii["heavy"]
    return radii


STAND_COLUMNS = ["icao", "source", "type", "name", "lat", "lon", "heading", "radius_m",
                 "aircraft", "airlines"]
VISIT_COLUMNS = ["icao", "arr", "stay", "airline", "type", "reg", "cargo", "cs"]


def standKind(path, line, row, radii):
    """(ramp, heli, cargo, radius in metres before the spacing cap) of one location."""
    source, kind, name = row["source"], row["type"], row["name"]
    if source in ("groundnet", "parking"):
        if kind not in FG_TYPES:
            fail(path, line, f"unknown parking type '{kind}'")
        ramp, cargo, cls = FG_TYPES[kind]
        radius = real(path, line, row, "radius_m", 0, 100, 0.0) or radii[cls]
        return ramp, False, cargo, radius
    if source == "apt1300":
        if kind not in APT_TYPES:
            fail(path, line, f"unknown startup location type '{kind}'")
        classes = [c for c in row["aircraft"].split("|") if c] or ["jets"]
        if any(c not in APT_CLASSES for c in classes):
            fail(path, line, f"unknown aircraft classes '{row['aircraft']}'")
        heli = classes == ["helos"]
        return APT_TYPES[kind] and not heli, heli, False, max(radii[c] for c in classes)
    if source == "apt15":
        if HELI_NAME.search(name):
            return False, True, False, radii["helos"]
        gate = bool(GATE_NAME.search(name))
        cls = "heavy" if HEAVY_NAME.search(name) else "props" if LIGHT_NAME.search(name) else "jets"
        return not gate, False, bool(CARGO_NAME.search(name)), radii[cls]
    fail(path, line, f"unknown source '{source}'")


def readStands(data, airports, radii):
    path = data / "stock" / "stands.csv.gz"
    stands = collections.defaultdict(list)
    for line, row in readCsv(path, STAND_COLUMNS):
        code = row["icao"]
        if code not in airports:
            fail(path, line, f"airport '{code}' is not in airports.xml")
        lat = real(path, line, row, "lat", -90, 90)
        lon = real(path, line, row, "lon", -180, 180)
        if lat == 0 and lon == 0:
            fail(path, line, "stand at latitude 0, longitude 0")
        heading = real(path, line, row, "heading", -360, 720)
        ramp, heli, cargo, radius = standKind(path, line, row, radii)
        airlines = [a for a in row["airlines"].split("|") if a]
        if any(not AIRLINE.match(a) for a in airlines):
            fail(path, line, f"bad airline codes '{row['airlines']}'")
        name = " ".join(CONTROL.sub(" ", row["name"]).split())
        stands[code].append({"name": name, "lat": lat, "lon": lon,
                             "heading": heading, "radius": radius, "ramp": ramp, "heli": heli,
                             "cargo": cargo, "airlines": airlines})
    return stands


def readVisits(data, stands):
    path = data / "stock" / "visits.csv.gz"
    visits = collections.defaultdict(list)
    for line, row in readCsv(path, VISIT_COLUMNS):
        code = row["icao"]
        if code not in stands:
            fail(path, line, f"airport '{code}' has no stands")
        arr = real(path, line, row, "arr", 0, WEEK - 1)
        stay = real(path, line, row, "stay", 1, MAX_STAY)
        if arr != int(arr) or stay != int(stay):
            fail(path, line, "arr and stay are whole minutes")
        if not re.fullmatch(r"[A-Z0-9]{2,4}", row["type"]):
            fail(path, line, f"bad type '{row['type']}'")
        if row["airline"] and not AIRLINE.match(row["airline"]):
            fail(path, line, f"bad airline '{row['airline']}'")
        if not row["reg"].strip() or row["cs"].count(":") > 1 or not row["cs"].strip(":"):
            fail(path, line, "registration or callsign missing")
        visits[code].append(dict(row, arr=int(arr), stay=int(stay)))
    return visits


def readNames(data):
    return {row["icao"]: row["name"] for _, row in readCsv(data / "stock" / "names.csv",
                                                           ["icao", "name"])}


# ---------------------------------------------------------------------------
# Stands: ids, radii capped by the spacing, neighbours.

def distance(a, b):
    la1, la2 = math.radians(a["lat"]), math.radians(b["lat"])
    h = (math.sin((la2 - la1) / 2) ** 2 +
         math.cos(la1) * math.cos(la2) * math.sin(math.radians(b["lon"] - a["lon"]) / 2) ** 2)
    return 2 * EARTH_RADIUS_M * math.asin(math.sqrt(min(1.0, h)))


def finishStands(stands, floor):
    names = {s["name"] for s in stands}
    count = collections.Counter(s["name"] for s in stands)
    used, next_ = set(), collections.Counter()
    for i, s in enumerate(stands):
        base = s["name"] or f"Stand {i + 1}"
        sid = base
        if count[s["name"]] > 1 or not s["name"] or sid in used:
            while sid in used or sid in names:
                next_[base] += 1
                sid = f"{base}-{next_[base]}"
        s["id"] = sid
        used.add(sid)
        h = round(s["heading"] % 360.0, 1)
        s["heading"] = 0.0 if h >= 360.0 else h
    dist = [[distance(a, b) for b in stands] for a in stands]
    for i, s in enumerate(stands):
        nearest = min((dist[i][j] for j in range(len(stands)) if j != i), default=math.inf)
        s["radius"] = round(max(min(s["radius"], nearest / 2), min(s["radius"], floor)), 1)
    for i, s in enumerate(stands):
        s["neighbours"] = [j for j in range(len(stands))
                           if j != i and s["radius"] + stands[j]["radius"] > 1.1 * dist[i][j]]


# ---------------------------------------------------------------------------
# Flights: each stay goes to the free stand that fits it best, in arrival order.

def slotMask(arr, stay):
    first, last = arr // 30, (arr + stay - 1) // 30
    mask = 0
    for n in range(first, last + 1):
        mask |= 1 << (n % SLOTS)
    return mask


def placeVisits(stands, visits, spans, category, cargoTypes):
    taken = [0] * len(stands)
    order = {}
    for v in visits:
        t = v["type"]
        cat = category.get(t, "")
        half = spans[t] / 2 if t in spans else DEFAULT_HALF_SPAN[cat]
        cargo = bool(v["cargo"]) or t in cargoTypes
        key = (v["airline"], t, cargo)
        if key not in order:
            ranked = []
            for i, s in enumerate(stands):
                if s["heli"] != (cat == "rot") or half > s["radius"] + FIT_MARGIN_M:
                    continue
                airline = 0 if v["airline"] in s["airlines"] else 2 if s["airlines"] else 1
                ramp = s["ramp"] == (cat in ("hvy", "lar"))
                ranked.append((airline, s["cargo"] != cargo, ramp, s["radius"] - half, i))
            order[key] = [r[-1] for r in sorted(ranked)]
        mask = slotMask(v["arr"], v["stay"])
        for i in order[key]:
            busy = taken[i]
            for j in stands[i]["neighbours"]:
                busy |= taken[j]
            if not busy & mask:
                taken[i] |= mask
                stands[i].setdefault("flights", []).append(v)
                break


def options(v):
    """One opt per day of a stay: (day 1 to 7, Monday first; first and last half hour)."""
    first, last = v["arr"] // 30, (v["arr"] + v["stay"] - 1) // 30
    runs = []
    for n in range(first, last + 1):
        day, hh = divmod(n % SLOTS, 48)
        if runs and runs[-1][0] == day + 1 and runs[-1][2] == hh - 1:
            runs[-1][2] = hh
        else:
            runs.append([day + 1, hh, hh])
    return runs


# ---------------------------------------------------------------------------
# Writing.

def airportFile(code, name, alt, stands, version):
    withFlights = sum(1 for s in stands if s.get("flights"))
    qfSoft = min(99, max(1, round(100 * withFlights / len(stands)))) if withFlights else 0
    out = ['<?xml version="1.0" encoding="UTF-8"?>', "<root>",
           f"  <meta version={quoteattr(version)} />", "  <parameters>"]
    for key, value in (("airport_name", name or code), ("publisher", "stock"),
                       ("altitude", alt), ("num_parkpos", str(len(stands))),
                       ("RT_traffic_week", "0"), ("Qf_real", "0"), ("Qf_soft", str(qfSoft))):
        out.append(f"    <parameter name={quoteattr(key)} value={quoteattr(value)} />")
    out += ["  </parameters>", "  <parkpositions>"]
    for s in stands:
        attrs = (f"id={quoteattr(s['id'])} latitude=\"{s['lat']:.6f}\" "
                 f"longitude=\"{s['lon']:.6f}\" heading=\"{s['heading']:.1f}\" "
                 f"radius=\"{s['radius']:.1f}\"")
        for flag in ("ramp", "heli", "cargo"):
            if s[flag]:
                attrs += f' {flag}="true"'
        if s["airlines"]:
            attrs += f" airlines={quoteattr(','.join(s['airlines']))}"
        flights = sorted((day, a, b, v["reg"], v["cs"], v)
                         for v in s.get("flights", []) for day, a, b in options(v))
        if not flights:
            out.append(f"    <parkpos {attrs} />")
            continue
        out.append(f"    <parkpos {attrs}>")
        for day, a, b, _, _, v in flights:
            hh = str(a) if a == b else f"{a}:{b}"
            out.append(f"      <opt reg={quoteattr(v['reg'])} airl={quoteattr(v['airline'])} "
                       f"type={quoteattr(v['type'])} soft=\"true\" day=\"{day}\" hh=\"{hh}\" "
                       f"cs={quoteattr(v['cs'])} />")
        out.append("    </parkpos>")
    out += ["  </parkpositions>", "</root>"]
    return "\n".join(out) + "\n"


def build(data, out, version):
    airports = readAirports(data)
    spans, category, cargoTypes = readDbase(data)
    radii = classRadii(spans)
    stands = readStands(data, airports, radii)
    visits = readVisits(data, stands)
    names = readNames(data)
    wrong = [f"{c} {airports[c][1]} (stands.csv.gz {len(stands.get(c, []))})"
             for c in sorted(airports) if airports[c][1] != len(stands.get(c, []))]
    if wrong:
        raise InputError("airports.xml stands counts differ from data/stock/stands.csv.gz: "
                         + ", ".join(wrong[:10]) + (" ..." if len(wrong) > 10 else "")
                         + "; run data/build_refdata.py")
    if not re.fullmatch(r"\d+\.\d+\.\d+", version):
        raise InputError(f"version '{version}' is not major.minor.patch")
    files = {}
    placed = total = 0
    for code in sorted(stands):
        finishStands(stands[code], radii["props"])
        placeVisits(stands[code], visits.get(code, []), spans, category, cargoTypes)
        total += len(visits.get(code, []))
        placed += sum(len(s.get("flights", [])) for s in stands[code])
        files[code] = airportFile(code, names.get(code, ""), airports[code][0], stands[code],
                                  version)
    folder = out / "downloads" / "P3D"
    folder.mkdir(parents=True, exist_ok=True)
    for old in folder.glob("*.xml"):
        if old.stem not in files:
            old.unlink()
    size = 0
    for code, text in files.items():
        data = text.encode("utf-8")
        target = folder / f"{code}.xml"
        if not target.exists() or target.read_bytes() != data:
            target.write_bytes(data)
        size += len(data)
    return (f"{len(files)} stock airport files ({size / 1e6:.1f} MB), "
            f"{sum(len(s) for s in stands.values())} stands, {placed} of {total} weekly stays "
            f"placed, in {folder}")


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--data", type=Path, default=HERE)
    ap.add_argument("--out", type=Path, required=True)
    ap.add_argument("--version", default="11.10.9")
    args = ap.parse_args(argv)
    try:
        print(build(args.data, args.out, args.version))
    except InputError as e:
        print(f"make_stock_files: {e}; no stock file written", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
