#!/usr/bin/env python3
"""Builds the reference data Wendle ships (dbase.xml, airports.xml, AIG-regcodes.xml).

Usage: data/build_refdata.py [SOURCE_FOLDER] [OUTPUT_FOLDER]
SOURCE_FOLDER defaults to ../shared/data/refdata beside the project, OUTPUT_FOLDER to
data/. Python 3 standard library only. The rules are written down in data/README.md.
"""

import collections
import csv
import gzip
import json
import re
import sys
from pathlib import Path
from xml.sax.saxutils import quoteattr

HERE = Path(__file__).resolve().parent
DEFAULT_SOURCES = HERE.parent.parent / "shared" / "data" / "refdata"

TYPE_CODE = re.compile(r"^[A-Z0-9]{2,4}$")
AIRLINE_CODE = re.compile(r"^[A-Z]{3}$")
FEET_TO_METRES = 0.3048

# ---------------------------------------------------------------------------
# Hand-kept tables (facts chosen by us; see README.md).

# Codes seen in traffic data that are not ICAO designators, and what they stand for.
FIXES = {
    "A300": "A306", "A330": "A333", "A340": "A343", "A350": "A359", "A380": "A388",
    "B707": "B703", "B727": "B722", "B747": "B744", "B757": "B752", "B767": "B763",
    "B777": "B77W", "B787": "B789", "B717": "B712", "MD80": "MD82", "E175": "E75L",
    "CRJ": "CRJ2", "DH8": "DH8D", "Q400": "DH8D", "ATR": "AT76", "AT7": "AT76",
    "AT4": "AT45", "A320N": "A20N", "A321N": "A21N", "B737M": "B38M", "B38": "B738",
}

# Types that fly as freighters only.
CARGO_TYPES = ["A3ST", "A337", "A124", "A225", "AN12", "AN22", "IL76", "SGUP", "CL4G", "BELF"]

# Scenery publishers: the first name of a group is the publisher's name, the others are
# spellings met in folder names.
PUBLISHERS = [
    ["FlyTampa"],
    ["FSDreamTeam", "FSDT"],
    ["Aerosoft"],
    ["Drzewiecki Design", "DrzewieckiDesign"],
    ["FlightBeam"],
    ["ImagineSim"],
    ["LatinVFR"],
    ["Taxi2Gate"],
    ["UK2000"],
]

# Airports of the simulator add-on publisher, and of some third-party publishers.
SIM_ADDON_AIRPORTS = ["EGLC", "KPSP", "LOWI", "NZQN", "YMML"]
THIRD_PARTY_AIRPORTS = [
    ("FlyTampa", ["CYYZ", "EHAM", "KBOS", "OMDB", "TNCM"]),
    ("FSDreamTeam", ["CYVR", "KCLT", "KFLL", "KJFK", "KORD", "LSZH", "PHNL"]),
]

# IATA aircraft codes of the fleet list (and the other spellings found there) to ICAO.
IATA_TO_ICAO = {
    "100": "F100", "142": "B462", "20N": "A20N", "221": "BCS1", "223": "BCS3",
    "300-605R": "A306", "300B2-203": "A30B", "300B4-2C": "A30B", "310": "A310", "313": "A310",
    "318": "A318", "319": "A319", "320": "A320", "320-214": "A320", "320-232": "A320",
    "320-233": "A320", "321": "A321", "32N": "A20N", "32Q": "A21N", "332": "A332",
    "333": "A333", "339": "A339", "33X": "A332", "33Y": "A333", "343": "A343", "345": "A345",
    "346": "A346", "359": "A359", "35X": "A359", "380": "A388", "388": "A388", "717": "B712",
    "733": "B733", "734": "B734", "735": "B735", "736": "B736", "737": "B737",
    "737-800": "B738", "737-900": "B739", "738": "B738", "739": "B739", "73F": "B733",
    "73G": "B737", "73H": "B738", "73P": "B734", "73Y": "B733", "744": "B744", "74F": "B744",
    "74H": "B748", "74N": "B748", "74Y": "B744", "752": "B752", "753": "B753", "757": "B752",
    "75F": "B752", "762": "B762", "763": "B763", "764": "B764", "767": "B763",
    "767-383ER": "B763", "76X": "B762", "76Y": "B763", "772": "B772", "773": "B773",
    "77F": "B77L", "77L": "B77L", "77W": "B77W", "788": "B788", "789": "B789", "78X": "B78X",
    "7M8": "B38M", "7M9": "B39M", "A310": "A310", "A320": "A320", "A320-200": "A320",
    "A320-214": "A320", "A330-243": "A332", "A330-341": "A333", "AB6": "A306", "ABF": "A306",
    "ABY": "A306", "AT4": "AT45", "AT5": "AT45", "AT7": "AT76", "Airbus_A321": "A321",
    "B1900D": "B190", "b1900d": "B190", "BNI": "BN2P", "C208": "C208", "CR1": "CRJ1",
    "CR2": "CRJ2", "CR7": "CRJ7", "CR9": "CRJ9", "CRK": "CRJX", "CS1": "BCS1", "CS3": "BCS3",
    "CitationBravo": "C55B", "Cub": "J3", "DH1": "DH8A", "DH2": "DH8B", "DH3": "DH8C",
    "DH4": "DH8D", "DHT": "DHC6", "E70": "E170", "E75": "E75L", "E90": "E190", "E95": "E195",
    "ER3": "E135", "ER4": "E145", "ERD": "E135", "ERJ": "E145", "ERJ145": "E145",
    "F70": "F70", "J32": "JS32", "J41": "JS41", "M1F": "MD11", "SF3": "SF34", "SU9": "SU95",
    "beech200": "BE20", "c172": "C172", "c177": "C177", "c182": "C182", "c182rg": "C82R",
    "c310": "C310", "centrair101": "PEGA", "pa28": "P28A",
}
# Codes that name no single type: the model folder of the fleet entry decides.
MODEL_TO_ICAO = {
    "pa-28": "P28A", "c177": "C177", "beech-200": "BE20", "AT4": "AT45", "AT7": "AT76",
    "738": "B738", "734": "B734",
}
AMBIGUOUS_IATA = {"CN1", "ATR", "73K"}

# ---------------------------------------------------------------------------
# Size categories.

BIZJET = re.compile(
    r"Citation|LEAR ?JET|Learjet|Challenger|Global \d|Global Express|GULFSTREAM|Gulfstream|"
    r"Falcon \d|Mystere \d\d|Hawker \d|HS-125|BAe-125|Beechjet|Premier|HondaJet|Eclipse|PC-24|"
    r"Phenom|Legacy|Praetor|Lineage|Sabreliner|Sabre \d\d|Westwind|Astra|Galaxy|Jetstar|"
    r"Jet Commander|Commodore Jet|Corvette|Diamond|SJ-30|Vision|Hansa|MS-760|Mustang|"
    r"AdamJet|Nextant|STRATOS \d|Syberjet|D-Jet|Epic|Spectre|Sentinel|Horizon",
    re.IGNORECASE)
AIRLINER = re.compile(
    r"AIRBUS A-[23]\d\d|ACJ|BOEING 7\d7|BBJ|MD-[89]\d|DC-9|DC-10|MD-11|Tu-1[3-5]4|Tu-[23]\d4|"
    r"Yak-4[02]|Yak-142|An-1[45]8|An-178|An-7[24]|Superjet|ARJ-21|C-9[01]9|Fokker \d|F-28|FOKKER 70|"
    r"FOKKER 100|BAe-146|RJ-\d|Regional Jet|ERJ|EMB-1[34]5(?!BJ)|EMBRAER 1\d\d|E1\d\d-E2|CSeries|"
    r"A-220|328JET|One-Eleven|BAC-111|Caravelle|Trident|Comet|VC-10|Mercure|MC-21|Il-62|"
    r"Il-86|Il-96|727-|737-|757-|767-|Avroliner")
MILITARY = re.compile(
    r"\b(?:MiG|Su|Yak|F|FA|F/A|AV|EAV|A|AT|OA|T|TA|EA|RF|TF|CF|NF|JF|J|JJ|JH|JL|JZ|FT|FTC|"
    r"FBC|FC|L|MB|M|K|KF|KUH|B|Q|MQ|RQ|EQ|XQ|X|YF|S|U)-?\d|"
    r"Mirage|Rafale|Typhoon|Eurofighter|Tornado|Gripen|Viggen|Draken|Lansen|Harrier|Hunter|"
    r"Jaguar|Shamsher|Alpha Jet|\bHawk\b|Goshawk|Buccaneer|Canberra|Lightning|Phantom|"
    r"\bSabre$|Super Sabre|Vampire|Venom|Meteor|Gnat|Kfir|Etendard|Skyhawk|Intruder|Prowler|"
    r"Scorpion|Tutor|Aviojet|Albatros|Galeb|Orao|Jastreb|Strikemaster|Jet Provost|Magister|"
    r"Iskra|Tejas|Dragonfly|Starfighter|Crusader|Panther|Skywarrior|Ching-Kuo|Tzu-Chung|"
    r"Raptor|Hornet|Growler|Tomcat|Eagle|Thunderbolt|Red Hawk|Halcon|Ghibli|Raider|Viking|"
    r"Kiran|Sitara|Pampa|Iryda|Soim|Master\b|Talon|Buckeye|Silver Star|Delfin|Xavante|"
    r"Impala|Karakorum|Boramae|Kaan|Thunder|Xiaolong|Shanying|Lieying|Flying Leopard|Saeta|"
    r"Vautour|Night Hawk|Stingray|Berkut|Saeghe|Tazarve|Fighting Falcon|Super Mystere|"
    r"Mystere 4|Sea Hawk|Sharp Sword|Ghost Bat|Valkyrie|Kizilelma|Kızılelma|Bielik|Swift")


def lf_rowClass(text):
    """What one manufacturer-and-model text says about a jet."""
    if AIRLINER.search(text):
        return "large"
    if BIZJET.search(text):
        return "buzjet"
    if MILITARY.search(text):
        return "hpf"
    return None


# Types that only the tar1090 list has carry no model names; their designator decides.
MILITARY_CODE = re.compile(r"^(?:F|VF|X|MG|SU|J)\d")


def category(code, desc, wtc, models):
    """Category name of a type, or None for light ones."""
    kind = desc[:1]
    engines = desc[1:2]
    engine = desc[2:3]
    if kind in ("H", "T", "R"):
        return "rot"
    if wtc in ("H", "J"):
        return "hvy"
    if engine == "J":
        votes = collections.Counter(c for c in map(lf_rowClass, models) if c)
        if not models and MILITARY_CODE.match(code):
            votes["hpf"] += 1
        mil, biz, air = votes["hpf"], votes["buzjet"], votes["large"]
        if mil > biz and mil > air:
            return "hpf"
        if biz > 0 and biz >= air:
            return "bzj"
        if wtc == "M" or air > 0:
            return "lar"
        return None
    if engine == "T" and wtc == "M" and engines not in ("1", "C"):
        return "lar"
    return None


# ---------------------------------------------------------------------------
# Readers of the sources.

def lf_readTypes(src):
    """designator -> (desc, wtc, [manufacturer model, ...])"""
    types = {}
    with open(src / "Doc8643.txt", encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) != 5:
                continue
            maker, model, code, desc, wtc = fields
            if not TYPE_CODE.match(code) or code == "ZZZZ":
                continue
            entry = types.setdefault(code, (desc, wtc, []))
            entry[2].append(f"{maker} {model}")
    with open(src / "icao_aircraft_types.json", encoding="utf-8") as f:
        for code, v in json.load(f).items():
            if TYPE_CODE.match(code) and code != "ZZZZ" and code not in types:
                types[code] = (v.get("desc", "-"), v.get("wtc", "-"), [])
    return types


def lf_readRelated(src):
    groups = []
    with open(src / "related.txt", encoding="utf-8") as f:
        for line in f:
            line = line.split(";", 1)[0].split()
            if line:
                groups.append(line)
    return groups


def lf_readWingspans(src, known, categories):
    spans = {}
    with open(src / "faa-aircraft-characteristics.csv", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            code = row["ICAO_Code"].strip()
            if code not in known:
                continue
            feet = []
            for col in ("Wingspan_ft_without_winglets_sharklets",
                        "Wingspan_ft_with_winglets_sharklets"):
                try:
                    feet.append(float(row[col]))
                except ValueError:
                    pass
            if not feet and categories.get(code) == "rot":
                try:
                    feet.append(float(row["Rotor_Diameter_ft"]))
                except ValueError:
                    pass
            if feet:
                metres = round(max(feet) * FEET_TO_METRES, 2)
                spans[code] = max(spans.get(code, 0.0), metres)
    return spans


def lf_readAirlines(src):
    with open(src / "operators.json", encoding="utf-8") as f:
        return json.load(f)


CARGO_NAME = re.compile(r"cargo|freight|parcel|courier|federal express|\bdhl\b", re.IGNORECASE)


def lf_cargoOperators(src, operators):
    cargo = set()
    with open(src / "flightgear-ai-cargo-airlines.csv", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            if AIRLINE_CODE.match(row["airline"]) and \
                    2 * int(row["cargo_aircraft"]) >= int(row["all_aircraft"]):
                cargo.add(row["airline"])
    for code, v in operators.items():
        if AIRLINE_CODE.match(code) and (CARGO_NAME.search(v.get("n", "")) or
                                          CARGO_NAME.search(v.get("r", ""))):
            cargo.add(code)
    return cargo


def lf_fleetType(row):
    code = row["iata_type"]
    if code in AMBIGUOUS_IATA:
        parts = row["model"].split("/")
        return MODEL_TO_ICAO.get(parts[1] if len(parts) > 1 else "", "")
    return IATA_TO_ICAO.get(code, "")


def lf_readFleet(src, known, airlines):
    records = {}
    unknown = collections.Counter()
    with open(src / "flightgear-ai-fleet.csv", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            reg = row["registration"].strip()
            if not reg:
                continue
            icao = lf_fleetType(row)
            if icao and icao not in known:
                unknown[icao] += 1
                icao = ""
            airline = row["airline"].strip()
            if not (AIRLINE_CODE.match(airline) and airline in airlines):
                airline = ""
            records.setdefault(reg, (airline, icao, row["flighttype"] == "cargo"))
    if unknown:
        raise SystemExit(f"fleet types that are no known types: {dict(unknown)}")
    return records


def lf_readStands():
    """The stands of each airport's stock file: the rows of stock/stands.csv.gz
    (extract_stock.py), which make_stock_files.py turns into the files one for one."""
    stands = collections.Counter()
    with gzip.open(HERE / "stock" / "stands.csv.gz", "rt", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            stands[row["icao"]] += 1
    return stands


# ---------------------------------------------------------------------------
# Writers.

def lf_chunks(items, size=40):
    items = list(items)
    for i in range(0, len(items), size):
        yield items[i:i + size]


def lf_listSection(out, section, element, attribute, items):
    out.append(f"  <{section}>")
    for chunk in lf_chunks(sorted(items)):
        out.append(f"    <{element} {attribute}={quoteattr(','.join(chunk))} />")
    out.append(f"  </{section}>")


def lf_number(x):
    text = f"{x:.6f}".rstrip("0").rstrip(".")
    return text if text not in ("", "-0") else "0"


def buildDbase(src):
    types = lf_readTypes(src)
    known = set(types)
    categories = {}
    for code, (desc, wtc, models) in types.items():
        c = category(code, desc, wtc, models)
        if c:
            categories[code] = c
    operators = lf_readAirlines(src)
    airlines = {c for c in operators if AIRLINE_CODE.match(c)}
    cargoOps = lf_cargoOperators(src, operators)
    spans = lf_readWingspans(src, known, categories)
    fleet = lf_readFleet(src, known, airlines)
    for wro, cor in FIXES.items():
        if wro in known or cor not in known:
            raise SystemExit(f"bad fix {wro} -> {cor}")
    for t in CARGO_TYPES:
        if t not in known:
            raise SystemExit(f"cargo type {t} is no known type")

    out = ['<?xml version="1.0" encoding="UTF-8"?>', "<root>"]
    lf_listSection(out, "aircrafts", "aircraft", "types", known)
    for section, element in (("high_performance", "hpf"), ("heavy", "hvy"), ("large", "lar"),
                             ("buzjet", "bzj"), ("rotorcraft", "rot")):
        lf_listSection(out, section, element, "types",
                       [c for c, k in categories.items() if k == element])
    lf_listSection(out, "cargo_types", "cargo_type", "types", CARGO_TYPES)
    out.append("  <similar_types>")
    for group in lf_readRelated(src):
        out.append(f"    <similar types={quoteattr(','.join(group))} />")
    out.append("  </similar_types>")
    lf_listSection(out, "ICAO_airlines", "ICAO", "codes", airlines)
    lf_listSection(out, "cargo_operators", "ICAO", "codes", cargoOps)
    out.append("  <publishers>")
    for names in PUBLISHERS:
        out.append(f"    <pub names={quoteattr(','.join(names))} />")
    out.append("  </publishers>")
    out.append("  <wingspans>")
    for code in sorted(spans):
        out.append(f"    <wingspan type={quoteattr(code)} meters=\"{lf_number(spans[code])}\" />")
    out.append("  </wingspans>")
    out.append("  <fixes>")
    for wro in sorted(FIXES):
        out.append(f"    <fx wro={quoteattr(wro)} cor={quoteattr(FIXES[wro])} />")
    out.append("  </fixes>")
    lf_listSection(out, "simaddonsP3D", "simaddonP3D", "arpts", SIM_ADDON_AIRPORTS)
    out.append("  <thirdpartiesP3D>")
    for pub, arpts in THIRD_PARTY_AIRPORTS:
        out.append(f"    <thirdpartieP3D pub={quoteattr(pub)} arpts={quoteattr(','.join(arpts))} />")
    out.append("  </thirdpartiesP3D>")
    out.append("  <dbase>")
    for reg in sorted(fleet):
        airline, icao, cargo = fleet[reg]
        line = (f"    <db reg={quoteattr(reg)} airl={quoteattr(airline)} type={quoteattr(icao)} "
                f"opr={quoteattr(airline)}")
        if cargo:
            line += ' cargo="true"'
        out.append(line + " />")
    out.append("  </dbase>")
    out.append("</root>")
    counts = collections.Counter(categories.values())
    summary = (f"dbase.xml: {len(known)} types, {dict(sorted(counts.items()))}, "
               f"{len(spans)} wingspans, {len(airlines)} airlines, {len(cargoOps)} cargo "
               f"operators, {len(fleet)} registrations")
    return "\n".join(out) + "\n", summary


def buildAirports(src):
    stands = lf_readStands()
    out = ['<?xml version="1.0" encoding="UTF-8"?>', "<root>", "  <airports>"]
    n = 0
    with open(src / "airports.csv", encoding="utf-8") as f:
        rows = sorted(csv.DictReader(f), key=lambda r: r["icao"])
    for row in rows:
        code = row["icao"]
        if not re.fullmatch(r"[A-Z]{4}", code):
            continue
        if row["type"] not in ("large_airport", "medium_airport") and not row["iata"]:
            continue
        out.append(
            f"    <airport code={quoteattr(code)} iata={quoteattr(row['iata'])} "
            f"lat=\"{lf_number(float(row['latitude']))}\" "
            f"lon=\"{lf_number(float(row['longitude']))}\" "
            f"alt=\"{lf_number(float(row['elevation_ft'] or 0))}\" stands=\"{stands.get(code, 0)}\" />")
        n += 1
    out += ["  </airports>", "</root>"]
    return "\n".join(out) + "\n", f"airports.xml: {n} airports"


def buildRegcodes():
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<root>\n  <AIG-regcodes />\n</root>\n',
            "AIG-regcodes.xml: empty")


def main(argv):
    src = Path(argv[1]) if len(argv) > 1 else DEFAULT_SOURCES
    dst = Path(argv[2]) if len(argv) > 2 else HERE
    if not src.is_dir():
        raise SystemExit(f"source folder {src} not found")
    for name, (text, summary) in (("dbase.xml", buildDbase(src)),
                                  ("airports.xml", buildAirports(src)),
                                  ("AIG-regcodes.xml", buildRegcodes())):
        (dst / name).write_text(text, encoding="utf-8", newline="\n")
        print(summary)


if __name__ == "__main__":
    main(sys.argv)
