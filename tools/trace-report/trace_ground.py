"""Ground figures of trace-report: parking at stands, separation on the ground, push-backs,
ground turn rates by size category and lift-offs without a take-off run.

An aircraft's type is the first word of its title that is an ICAO type code of TYPES; its
size category and half wingspan come from there (large and DEFAULT_HALF_SPAN_M otherwise).
"""

import math
import re
import xml.etree.ElementTree as ET

# Size categories, with the fastest ground turn each may show (deg/s).
LIGHT, BUSINESS, LARGE, HEAVY, HIGH_PERF, ROTORCRAFT = range(6)
CATEGORY_NAMES = ("light", "business", "large", "heavy", "high performance", "rotorcraft")
GROUND_TURN_RATE = (15.0, 10.0, 7.0, 5.0, 10.0, 20.0)
TURN_RATE_MARGIN = 1.2
DEFAULT_HALF_SPAN_M = 18.0
USER = "user"  # the oid the user's aircraft goes by in the separation

STILL_M = 1.0  # an aircraft that stays this close to where it stopped stands still
PARKED_S = 20.0  # standing still this long near a stand is parking
STAND_REACH_M = 30.0
STAND_DIST_LIMIT_M = 2.0
STAND_HDG_LIMIT = 3.0
MOVE_M = 1.0  # ground movement is judged over steps at least this long
BACKWARDS_DEG = 90.0
PUSHBACK_LIMIT_M = 120.0
TAKEOFF_KT = 40.0
TAKEOFF_WINDOW_S = 90.0
RATE_WINDOW_S = 1.0  # turn rates over shorter spans mostly show the timing of the samples
SEPARATION_REACH_M = 200.0  # pairs further apart are not worth naming as the closest
HOLD_GAP_S = 5.0  # positions further apart in time are not interpolated

# ICAO type -> (category, wingspan in metres; rotor diameter for rotorcraft).
TYPES = {
    "C152": (LIGHT, 10.1), "C172": (LIGHT, 11.0), "C182": (LIGHT, 11.0), "C208": (LIGHT, 15.9),
    "PA28": (LIGHT, 10.7), "SR22": (LIGHT, 11.7), "DA40": (LIGHT, 11.9), "DA42": (LIGHT, 13.4),
    "PC12": (LIGHT, 16.3), "DHC6": (LIGHT, 19.8), "BE20": (LIGHT, 16.6), "BE58": (LIGHT, 11.5),
    "C25A": (BUSINESS, 15.5), "C56X": (BUSINESS, 16.98), "C680": (BUSINESS, 19.4),
    "CL35": (BUSINESS, 19.5), "CL60": (BUSINESS, 19.6), "E55P": (BUSINESS, 16.2),
    "F2TH": (BUSINESS, 21.4), "FA7X": (BUSINESS, 26.2), "GLEX": (BUSINESS, 28.7),
    "GLF4": (BUSINESS, 23.7), "GLF5": (BUSINESS, 28.5), "GLF6": (BUSINESS, 30.4),
    "LJ45": (BUSINESS, 14.6), "PC24": (BUSINESS, 17.0),
    "A318": (LARGE, 34.1), "A319": (LARGE, 35.8), "A320": (LARGE, 35.8), "A321": (LARGE, 35.8),
    "A19N": (LARGE, 35.8), "A20N": (LARGE, 35.8), "A21N": (LARGE, 35.8),
    "B736": (LARGE, 34.3), "B737": (LARGE, 34.3), "B738": (LARGE, 35.8), "B739": (LARGE, 35.8),
    "B38M": (LARGE, 35.9), "B39M": (LARGE, 35.9), "B752": (LARGE, 38.05), "B753": (LARGE, 38.05),
    "BCS1": (LARGE, 35.1), "BCS3": (LARGE, 35.1), "CRJ2": (LARGE, 21.2), "CRJ7": (LARGE, 23.2),
    "CRJ9": (LARGE, 24.9), "CRJX": (LARGE, 26.2), "E170": (LARGE, 26.0), "E175": (LARGE, 26.0),
    "E190": (LARGE, 28.7), "E195": (LARGE, 28.7), "E290": (LARGE, 33.7), "E295": (LARGE, 35.1),
    "AT45": (LARGE, 24.57), "AT72": (LARGE, 27.05), "AT76": (LARGE, 27.05), "DH8D": (LARGE, 28.4),
    "SB20": (LARGE, 24.8), "F100": (LARGE, 28.1), "RJ85": (LARGE, 26.3), "MD82": (LARGE, 32.9),
    "A306": (HEAVY, 44.84), "A332": (HEAVY, 60.3), "A333": (HEAVY, 60.3), "A339": (HEAVY, 64.0),
    "A343": (HEAVY, 60.3), "A346": (HEAVY, 63.45), "A359": (HEAVY, 64.75),
    "A35K": (HEAVY, 64.75), "A388": (HEAVY, 79.75), "B744": (HEAVY, 64.4), "B748": (HEAVY, 68.4),
    "B762": (HEAVY, 47.6), "B763": (HEAVY, 47.6), "B764": (HEAVY, 51.9), "B772": (HEAVY, 60.9),
    "B77L": (HEAVY, 64.8), "B77W": (HEAVY, 64.8), "B788": (HEAVY, 60.1), "B789": (HEAVY, 60.1),
    "B78X": (HEAVY, 60.1), "MD11": (HEAVY, 51.7), "A124": (HEAVY, 73.3),
    "F16": (HIGH_PERF, 9.96), "F15": (HIGH_PERF, 13.05), "F18H": (HIGH_PERF, 13.6),
    "EUFI": (HIGH_PERF, 10.95), "F35": (HIGH_PERF, 10.7), "F22": (HIGH_PERF, 13.56),
    "A10": (HIGH_PERF, 17.5), "T38": (HIGH_PERF, 7.7), "HAWK": (HIGH_PERF, 9.39),
    "B06": (ROTORCRAFT, 10.16), "R44": (ROTORCRAFT, 10.06), "AS50": (ROTORCRAFT, 10.69),
    "EC30": (ROTORCRAFT, 10.69), "EC35": (ROTORCRAFT, 10.2), "EC45": (ROTORCRAFT, 11.0),
    "A139": (ROTORCRAFT, 13.8), "S76": (ROTORCRAFT, 13.41), "H60": (ROTORCRAFT, 16.36),
}


def aircraft_type(title):
    """(type, category, half wingspan in m) from a title such as "Demo A320 Swiss"."""
    for word in re.split(r"[^A-Z0-9]+", (title or "").upper()):
        if word in TYPES:
            cat, span = TYPES[word]
            return word, cat, span / 2
    return None, LARGE, DEFAULT_HALF_SPAN_M


def read_stands(path):
    """The stands (id, lat, lon, heading) of a park-position file; ones without a usable
    position or heading are left out."""
    out = []
    for p in ET.parse(path).getroot().iter("parkpos"):
        try:
            lat, lon = float(p.get("latitude")), float(p.get("longitude"))
            hdg = float(p.get("heading"))
        except (TypeError, ValueError):
            continue
        if all(math.isfinite(v) for v in (lat, lon, hdg)) and abs(lat) <= 90 and \
                abs(lon) <= 180 and (lat, lon) != (0.0, 0.0):
            out.append((p.get("id") or "?", lat, lon, hdg % 360.0))
    return out


def distance_m(lat1, lon1, lat2, lon2):
    p1, p2 = math.radians(lat1), math.radians(lat2)
    dp, dl = p2 - p1, math.radians(lon2 - lon1)
    a = math.sin(dp / 2) ** 2 + math.cos(p1) * math.cos(p2) * math.sin(dl / 2) ** 2
    return 2 * 6371008.8 * math.asin(min(1.0, math.sqrt(a)))


def bearing(lat1, lon1, lat2, lon2):
    p1, p2, dl = math.radians(lat1), math.radians(lat2), math.radians(lon2 - lon1)
    y = math.sin(dl) * math.cos(p2)
    x = math.cos(p1) * math.sin(p2) - math.sin(p1) * math.cos(p2) * math.cos(dl)
    return math.degrees(math.atan2(y, x)) % 360.0


def turn(a, b):
    """Signed turn from heading a to heading b, -180..180."""
    return (b - a + 540.0) % 360.0 - 180.0


def nearest_stand(stands, lat, lon):
    best = None
    for st in stands:
        if abs(st[1] - lat) > 0.01:
            continue
        d = distance_m(lat, lon, st[1], st[2])
        if best is None or d < best[1]:
            best = (st, d)
    return best


def still_periods(s):
    """(first, last) sample indexes of the stretches on the ground during which the aircraft
    stays within STILL_M of where it stopped."""
    out, i = [], 0
    while i < len(s):
        if not s[i].gnd:
            i += 1
            continue
        j = i
        while j + 1 < len(s) and s[j + 1].gnd and \
                distance_m(s[i].lat, s[i].lon, s[j + 1].lat, s[j + 1].lon) <= STILL_M:
            j += 1
        if j > i:
            out.append((i, j))
        i = j + 1
    return out


def movements(s):
    """Runs of ground movement, [t0, t1, backwards, metres], in steps of at least MOVE_M."""
    runs, anchor = [], None
    for k, x in enumerate(s):
        if not x.gnd:
            anchor = None
            continue
        if anchor is None:
            anchor = x
            continue
        d = distance_m(anchor.lat, anchor.lon, x.lat, x.lon)
        if d < MOVE_M:
            continue
        back = False
        # The heading just before the step: one that turned while standing counts as turned.
        prev = s[k - 1]
        if prev.hdg is not None and x.hdg is not None:
            hdg = prev.hdg + turn(prev.hdg, x.hdg) / 2
            back = abs(turn(hdg, bearing(anchor.lat, anchor.lon, x.lat, x.lon))) > BACKWARDS_DEG
        paused = x.t - anchor.t > HOLD_GAP_S  # a stop in between starts a new run
        if runs and runs[-1][2] == back and runs[-1][1] == anchor.t and not paused:
            runs[-1][1] = x.t
            runs[-1][3] += d
        else:
            runs.append([s[k - 1].t if paused else anchor.t, x.t, back, d])
        anchor = x
    return runs


def turn_rate(s):
    """The fastest ground turn in deg/s, over spans of at least RATE_WINDOW_S on the ground."""
    best, j, turned = None, 0, [0.0]  # turned[i]: degrees turned from s[0] to s[i]
    for i in range(1, len(s)):
        a, b = s[i - 1], s[i]
        both = a.gnd and b.gnd and a.hdg is not None and b.hdg is not None
        turned.append(turned[-1] + (abs(turn(a.hdg, b.hdg)) if both else 0.0))
        if not both:
            j = i
            continue
        while j + 1 < i and s[i].t - s[j + 1].t >= RATE_WINDOW_S:
            j += 1
        dt = s[i].t - s[j].t
        if dt >= RATE_WINDOW_S:
            rate = (turned[i] - turned[j]) / dt
            best = rate if best is None or rate > best else best
    return best


def analyse(ac, stands):
    s = ac.samples
    typ, cat, half = aircraft_type(ac.title)
    limit = GROUND_TURN_RATE[cat] * TURN_RATE_MARGIN
    g = {"type": typ, "category": CATEGORY_NAMES[cat], "half_span_m": half, "parkings": [],
         "pushbacks": [], "reversals": [], "heading_rate": turn_rate(s), "heading_rate_limit":
         round(limit, 2), "liftoffs": []}
    runs = movements(s)
    # Timeline of stops and movements: a stop at a stand (any long stop without a stand
    # file) starts a departure, which must not move backwards once it has moved forwards.
    events = [(r[0], 1, r) for r in runs]
    for i, j in still_periods(s):
        if s[j].t - s[i].t < PARKED_S:
            continue
        before = [r for r in runs if r[1] <= s[i].t]
        if before and before[-1][2]:
            continue  # waiting after a push-back is not parking
        # Where it stood: the middle of the stop, away from the creeping in and out.
        m = min(range(i, j + 1), key=lambda k: abs(s[k].t - (s[i].t + s[j].t) / 2))
        near = nearest_stand(stands, s[m].lat, s[m].lon) if stands else None
        if stands and (near is None or near[1] > STAND_REACH_M):
            continue
        p = {"t": s[i].t, "s": round(s[j].t - s[i].t, 1)}
        if near:
            st, d = near
            p.update(stand=st[0], m=round(d, 2),
                     hdg_diff=None if s[m].hdg is None else round(abs(turn(st[3], s[m].hdg)), 2))
        g["parkings"].append(p)
        events.append((s[i].t, 0, None))
    for i in range(1, len(s)):
        if s[i].gnd != s[i - 1].gnd:
            events.append((s[i].t, 0, None))
    forwards_since, backwards = None, False
    for t, _, r in sorted(events, key=lambda e: (e[0], e[1])):
        if r is None:
            forwards_since, backwards = None, False
        elif not r[2]:
            forwards_since = t if forwards_since is None else forwards_since
            backwards = False
        elif backwards:  # a push-back that paused goes on
            g["pushbacks"][-1]["m"] += r[3]
        else:
            backwards = True
            g["pushbacks"].append({"t": r[0], "m": r[3]})
            if forwards_since is not None:
                g["reversals"].append({"t": r[0], "forwards_t": forwards_since})
    for x in g["pushbacks"]:
        x["m"] = round(x["m"], 1)
    for i in range(1, len(s)):
        if s[i - 1].gnd and not s[i].gnd:
            g["liftoffs"].append({"t": s[i].t, "kt": ground_speed_before(s, i)})
    return g


def ground_speed_before(s, i):
    """The fastest ground speed in the TAKEOFF_WINDOW_S up to the lift-off at sample i: the
    reported speed, else the one the positions show."""
    best = 0.0
    j = i
    while j > 0 and s[i].t - s[j - 1].t <= TAKEOFF_WINDOW_S:
        p, x = s[j - 1], s[j]
        if p.gnd or x is s[i]:
            v = x.tas if x.tas is not None else (
                distance_m(p.lat, p.lon, x.lat, x.lon) / (x.t - p.t) * 3600 / 1852
                if x.t > p.t else 0.0)
            best = max(best, v)
        j -= 1
    return round(best, 1)


def positions(ac):
    """(t, lat, lon, on ground) from the creation on; the creation's place counts."""
    out = []
    if ac.create_pos is not None and ac.created_t is not None:
        out.append((ac.created_t, ac.create_pos[0], ac.create_pos[1], ac.create_gnd))
    out += [(x.t, x.lat, x.lon, x.gnd) for x in ac.samples]
    return out


def separation(aircraft, half_spans):
    """The pair of aircraft on the ground that came closest, relative to the sum of their half
    wingspans, at whole seconds; an aircraft stays where it was last seen until removed."""
    tracks = []
    for ac, half in zip(aircraft, half_spans):
        pts = positions(ac)
        if pts:
            end = ac.removed_t if ac.removed_t is not None else math.inf
            tracks.append([ac, half, pts, 0, end])
    if len(tracks) < 2:
        return None
    # Whole seconds at which something moved: the rest of the time nothing changes.
    worst, conflicts = None, 0
    for t in sorted({round(p[0]) for tr in tracks for p in tr[2]}):
        here = []
        for tr in tracks:
            ac, half, pts, k, end = tr
            if t < pts[0][0] or t > end:
                continue
            while k + 1 < len(pts) and pts[k + 1][0] <= t:
                k += 1
            tr[3] = k
            p = pts[k]
            if not p[3]:
                continue
            lat, lon = p[1], p[2]
            if k + 1 < len(pts) and pts[k + 1][3] and pts[k + 1][0] - p[0] <= HOLD_GAP_S:
                q = pts[k + 1]
                f = (t - p[0]) / (q[0] - p[0]) if q[0] > p[0] else 0.0
                lat, lon = lat + (q[1] - lat) * f, lon + (q[2] - lon) * f
            here.append((lat, lon, half, ac))
        here.sort(key=lambda h: h[0])
        reach = max(SEPARATION_REACH_M, 2 * max((h[2] for h in here), default=0.0)) / 111000.0
        clash = False
        for a in range(len(here)):
            for b in range(a + 1, len(here)):
                if here[b][0] - here[a][0] > reach:
                    break
                if abs(here[b][1] - here[a][1]) * math.cos(math.radians(here[a][0])) > reach:
                    continue
                d = distance_m(here[a][0], here[a][1], here[b][0], here[b][1])
                limit = here[a][2] + here[b][2]
                clash = clash or d < limit
                if worst is None or d / limit < worst[0]:
                    worst = (d / limit, t, here[a][3], here[b][3], d, limit)
        conflicts += clash
    if worst is None:
        return None
    _, t, a, b, d, limit = worst
    return {"t": t, "a": a.oid, "a_tail": a.tail, "b": b.oid, "b_tail": b.tail, "m": round(d, 1),
            "limit_m": round(limit, 1), "conflict_seconds": conflicts}


def pair(sep):
    def who(oid, tail):
        return "the user" if oid == USER else f"oid {oid} ({tail or '?'})"

    return f"{who(sep['a'], sep['a_tail'])} and {who(sep['b'], sep['b_tail'])}"


def failures(r):
    g, out = r["ground"], []
    who = f"oid {r['oid']} ({r['tail'] or '?'})"
    for p in g["parkings"]:
        if p.get("m") is not None and (p["m"] > STAND_DIST_LIMIT_M or (
                p["hdg_diff"] is not None and p["hdg_diff"] > STAND_HDG_LIMIT)):
            out.append(f"{who}: parked at t={p['t']} {p['m']} m from stand {p['stand']}, heading "
                       f"{p['hdg_diff']} deg off")
    for x in g["reversals"]:
        out.append(f"{who}: moved backwards at t={x['t']} after moving forwards from "
                   f"t={x['forwards_t']}")
    for x in g["pushbacks"]:
        if x["m"] > PUSHBACK_LIMIT_M:
            out.append(f"{who}: moved {x['m']} m backwards from t={x['t']}")
    if g["heading_rate"] is not None and g["heading_rate"] > g["heading_rate_limit"]:
        out.append(f"{who}: ground heading rate {g['heading_rate']:.1f} deg/s "
                   f"({g['category']}: {g['heading_rate_limit']:.1f})")
    for x in g["liftoffs"]:
        if x["kt"] < TAKEOFF_KT:
            out.append(f"{who}: left the ground at t={x['t']} after {x['kt']} kt at most")
    return out


def totals(rows, stands, sep):
    parks = [p for r in rows for p in r["ground"]["parkings"]]
    at = [p for p in parks if p.get("m") is not None]
    pbs = [x for r in rows for x in r["ground"]["pushbacks"]]
    ratios = [r["ground"]["heading_rate"] / r["ground"]["heading_rate_limit"] * TURN_RATE_MARGIN
              for r in rows if r["ground"]["heading_rate"] is not None]
    lifts = [x for r in rows for x in r["ground"]["liftoffs"]]
    return {"stands": None if stands is None else len(stands), "parkings": len(parks),
            "at_stands": len(at), "max_stand_m": max((p["m"] for p in at), default=None),
            "max_stand_hdg_diff": max((p["hdg_diff"] for p in at if p["hdg_diff"] is not None),
                                      default=None),
            "separation": sep, "pushbacks": len(pbs),
            "max_pushback_m": max((x["m"] for x in pbs), default=None),
            "reversals": sum(len(r["ground"]["reversals"]) for r in rows),
            "max_heading_rate_share": round(max(ratios), 2) if ratios else None,
            "liftoffs": len(lifts),
            "min_liftoff_kt": min((x["kt"] for x in lifts), default=None)}


def text(g):
    def num(v, unit, digits=1):
        return "-" if v is None else f"{v:.{digits}f}{unit}"

    if g["stands"] is None:
        lines = [f"  ground: no stand file; {g['parkings']} stops of {PARKED_S:.0f} s or more"]
    else:
        lines = [f"  ground: {g['stands']} stands; {g['at_stands']} parked at a stand (worst "
                 f"{num(g['max_stand_m'], ' m', 2)}, {num(g['max_stand_hdg_diff'], ' deg')})"]
    sep = g["separation"]
    lines.append("    closest on the ground: " + (
        f"{pair(sep)} {sep['m']} m apart at t={sep['t']}, half wingspans {sep['limit_m']} m; "
        f"{sep['conflict_seconds']} s too close" if sep else "-"))
    share = g["max_heading_rate_share"]
    lines.append(f"    {g['pushbacks']} push-backs (longest {num(g['max_pushback_m'], ' m')}), "
                 f"{g['reversals']} backwards after forwards; ground turns up to "
                 f"{num(None if share is None else 100 * share, ' %', 0)} of the category's "
                 f"rate; {g['liftoffs']} lift-offs (slowest run "
                 f"{num(g['min_liftoff_kt'], ' kt', 0)})")
    return lines


def draw_stands(ax, stands):
    """Stands as small dots with a short stroke along their heading (the map keeps north up
    and metres equal both ways, so a heading is an angle on the screen)."""
    if not stands:
        return
    xs, ys = [st[2] for st in stands], [st[1] for st in stands]
    hs = [math.radians(st[3]) for st in stands]
    ax.scatter(xs, ys, s=5, color="0.15", zorder=2, label="stand")
    ax.quiver(xs, ys, [math.sin(h) for h in hs], [math.cos(h) for h in hs], angles="uv",
              pivot="tail", scale_units="inches", scale=10, width=0.0015, headwidth=0,
              headlength=0, headaxislength=0, color="0.15", zorder=2)
