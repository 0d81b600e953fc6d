#!/usr/bin/env python3
"""Extracts the runways of a few airports into data/runways/runways.csv.

Usage: data/build_runways.py [SOURCE_FILE] [OUTPUT_FILE]
SOURCE_FILE defaults to ../shared/data/refdata/apt-runways.csv.gz beside the project (the
land runways of FlightGear's apt.dat, GPL-2+), OUTPUT_FILE to data/runways/runways.csv.
Python 3 standard library only. The output is deterministic.
"""

import csv
import gzip
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
DEFAULT_SOURCE = HERE.parent.parent / "shared" / "data" / "refdata" / "apt-runways.csv.gz"
DEFAULT_OUTPUT = HERE / "runways" / "runways.csv"

# The demo's airport and its neighbours with airline traffic (the RealTraffic stand-in flies
# to the airport nearest the user), and the airports its generated flights name.
AIRPORTS = [
    "LSZH", "LSGG", "LFSB", "LSZB", "LSZA", "LSZR", "LSME", "EDNY", "EDDS", "EDDM",
    "EGLL", "LFPG", "EDDF", "EHAM", "LOWW", "KJFK", "LEMD", "LEBL",
]
COLUMNS = ["icao", "elevation_ft", "width_m", "surface", "end1", "lat1", "lon1", "disp1_m",
           "end2", "lat2", "lon2", "disp2_m"]


def number(text):
    """apt.dat writes leading zeros (008.5359); the output prints the shortest float."""
    v = float(text)
    return str(int(v)) if v == int(v) and "." not in text else repr(v)


def main():
    source = Path(sys.argv[1]) if len(sys.argv) > 1 else DEFAULT_SOURCE
    output = Path(sys.argv[2]) if len(sys.argv) > 2 else DEFAULT_OUTPUT
    wanted = set(AIRPORTS)
    rows = []
    with gzip.open(source, "rt", encoding="utf-8", newline="") as f:
        for row in csv.DictReader(f):
            if row["icao"] in wanted:
                rows.append([row[c] if c in ("icao", "end1", "end2", "surface") else
                             number(row[c]) for c in COLUMNS])
    rows.sort(key=lambda r: (AIRPORTS.index(r[0]), r[4]))
    output.parent.mkdir(parents=True, exist_ok=True)
    with open(output, "w", encoding="utf-8", newline="") as out:
        w = csv.writer(out, lineterminator="\n")
        w.writerow(COLUMNS)
        w.writerows(rows)
    found = {r[0] for r in rows}
    missing = [a for a in AIRPORTS if a not in found]
    print(f"{len(rows)} runways of {len(found)} airports written to {output}"
          + (f"; not in the source: {', '.join(missing)}" if missing else ""))


if __name__ == "__main__":
    main()
