#!/usr/bin/env python3
"""Lays out AI aircraft packages as they are installed for the simulator, for the livery
scan's tests and benchmark (Python 3, standard library only).

    make_livery_corpus.py OUT [--dbase data/dbase.xml] [--bench-files N] [--seed S]

OUT/lfolder0 and OUT/lfolder1 receive packages: SimObjects/Airplanes/<package>/aircraft.cfg
with [fltsim.N] sections (title, sim, model, texture, atc_id, atc_parking_codes,
atc_parking_types ...), the [General] section with atc_model and the engineering sections
of a real file, texture.* and model.* folders and the .air file. Among them, on purpose:
UTF-16 and Windows-1252 files, a sim.cfg, duplicate titles, missing texture folders, heavy
types without airline, unknown and fixable type codes, unknown airline codes, an IVAO tree,
"airport" folders and a folder path beyond 250 bytes (neither entered), aircraft.cfg.bak,
binary junk, an undecodable UTF-16 file, endless lines and sections without keys.

OUT/expected.json says what a scan must find: the number of liveries, the lines of each
information and error list, and titles that must or must not be in the catalogue. With
--dbase the codes used are checked against the database (known types and airlines), and
registrations are picked from it where a case needs one the database knows.

--bench-files N writes N ordinary aircraft.cfg files instead (lfolder0 only), for the
scan benchmark; expected.json then holds the number of liveries.
"""

import argparse
import json
import os
import random
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

# type code -> (manufacturer, model text, sim name); categories as the shipped database.
LARGE = {
    "A320": ("Airbus", "A320-200", "AIG_A320"),
    "A321": ("Airbus", "A321-200", "AIG_A321"),
    "A319": ("Airbus", "A319-100", "AIG_A319"),
    "A20N": ("Airbus", "A320neo", "AIG_A20N"),
    "B738": ("Boeing", "737-800", "AIG_B738"),
    "B739": ("Boeing", "737-900", "AIG_B739"),
    "B752": ("Boeing", "757-200", "AIG_B752"),
    "E190": ("Embraer", "E190", "AIG_E190"),
    "E75L": ("Embraer", "E175", "AIG_E175"),
    "CRJ9": ("Bombardier", "CRJ-900", "AIG_CRJ9"),
    "DH8D": ("De Havilland", "Dash 8 Q400", "AIG_DH8D"),
    "AT76": ("ATR", "72-600", "AIG_AT76"),
}
HEAVY = {
    "B77W": ("Boeing", "777-300ER", "AIG_B77W"),
    "B744": ("Boeing", "747-400", "AIG_B744"),
    "A333": ("Airbus", "A330-300", "AIG_A333"),
    "A359": ("Airbus", "A350-900", "AIG_A359"),
    "B789": ("Boeing", "787-9", "AIG_B789"),
    "A388": ("Airbus", "A380-800", "AIG_A388"),
    "B763": ("Boeing", "767-300ER", "AIG_B763"),
}
BUZJET = {
    "C56X": ("Cessna", "Citation Excel", "FAIB_C56X"),
    "GLF5": ("Gulfstream", "G550", "FAIB_GLF5"),
    "CL60": ("Bombardier", "Challenger 604", "FAIB_CL60"),
    "E55P": ("Embraer", "Phenom 300", "FAIB_E55P"),
}
LIGHT = {
    "C172": ("Cessna", "172 Skyhawk", "GA_C172"),
    "C208": ("Cessna", "208 Caravan", "GA_C208"),
    "PC12": ("Pilatus", "PC-12", "GA_PC12"),
    "SR22": ("Cirrus", "SR22", "GA_SR22"),
}
ROTOR = {
    "EC35": ("Eurocopter", "EC135", "HELI_EC35"),
    "A139": ("AgustaWestland", "AW139", "HELI_A139"),
}

AIRLINES = {
    "DLH": ("Lufthansa", "D-A"), "BAW": ("British Airways", "G-"), "AFR": ("Air France", "F-G"),
    "KLM": ("KLM", "PH-"), "UAL": ("United", "N"), "AAL": ("American", "N"),
    "DAL": ("Delta", "N"), "RYR": ("Ryanair", "EI-"), "EZY": ("easyJet", "G-E"),
    "UAE": ("Emirates", "A6-E"), "QTR": ("Qatar Airways", "A7-"), "SIA": ("Singapore", "9V-"),
    "CPA": ("Cathay Pacific", "B-K"), "SWR": ("Swiss", "HB-J"), "THY": ("Turkish", "TC-J"),
    "IBE": ("Iberia", "EC-"), "SAS": ("SAS", "SE-R"), "FIN": ("Finnair", "OH-L"),
    "AUA": ("Austrian", "OE-L"), "LOT": ("LOT", "SP-L"), "ACA": ("Air Canada", "C-F"),
    "QFA": ("Qantas", "VH-"), "JAL": ("Japan Airlines", "JA"), "WZZ": ("Wizz Air", "HA-L"),
    "EWG": ("Eurowings", "D-AE"), "TAP": ("TAP Portugal", "CS-T"), "ICE": ("Icelandair", "TF-"),
    "SKW": ("SkyWest", "N"), "VIR": ("Virgin Atlantic", "G-V"), "AZA": ("Alitalia", "I-"),
}
CARGO_AIRLINES = {
    "FDX": ("FedEx", "N"), "UPS": ("UPS", "N"), "GTI": ("Atlas Air", "N"),
    "CLX": ("Cargolux", "LX-"), "BOX": ("AeroLogic", "D-AAL"), "DHK": ("DHL Air", "G-DH"),
}
BUZJET_AIRLINES = {"NJE": ("NetJets Europe", "CS-D"), "EJA": ("NetJets", "N")}

BODY = """
[General]
atc_type={maker}
atc_model={atc_model}
editable=1
performance=Cruise speed 450 kts
Category=airplane

[WEIGHT_AND_BALANCE]
max_gross_weight=174200
empty_weight=91108
reference_datum_position=0,0,0
empty_weight_CG_position=-5.0,0,0
max_number_of_stations=50
station_load.0=170,20,-1.5,0, Pilot
station_load.1=170,20,1.5,0, Co-Pilot
empty_weight_pitch_MOI=2000000
empty_weight_roll_MOI=1200000
empty_weight_yaw_MOI=3000000
empty_weight_coupled_MOI=0

[GeneralEngineData]
engine_type=1
Engine.0=-7.5,-15.0,-2.5
Engine.1=-7.5,15.0,-2.5
fuel_flow_scalar=1.0
min_throttle_limit=-0.25

[TurbineEngineData]
fuel_flow_gain=0.002
inlet_area=19.6
rated_N2_rpm=29920
static_thrust=27300
reverser_available=1
reverser_mach_controlled=0

[contact_points]
point.0=1,43.00,0.00,-9.50,1181.1,0,1.422,55.92,0.6,2.5,0.9,4.0,4.0,0,220.0,250.0
point.1=1,-4.00,-9.00,-9.60,1574.8,1,1.754,0,1.1,2.5,0.9,5.0,5.0,2,220.0,250.0
point.2=1,-4.00,9.00,-9.60,1574.8,2,1.754,0,1.1,2.5,0.9,5.0,5.0,3,220.0,250.0
static_pitch=0.0
static_cg_height=9.5
gear_system_type=1

[Lights]
light.0=3,-60.0,-56.8,2.7,fx_navredm,
light.1=3,-60.0,56.8,2.7,fx_navgrem,
light.2=2,-65.6,0.0,0.5,fx_strobe,
light.3=4,-22.0,0.0,6.4,fx_beaconb,
light.4=5,43.0,0.0,-5.0,fx_landing,

[flaps.0]
type=1
span-outboard=0.8
extending-time=30
flaps-position.0=0,0
flaps-position.1=1,0
flaps-position.2=5,0
flaps-position.3=15,0
flaps-position.4=30,0
damaging-speed=250
blowout-speed=300

[airplane_geometry]
wing_area=1341
wing_span=112.6
wing_root_chord=17.5
wing_dihedral=6
wing_incidence=0.5
wing_twist=-3.0
oswald_efficiency_factor=0.8
wing_winglets_flag=1
wing_sweep=25
wing_pos_apex_lon=12.0
wing_pos_apex_vert=-2.0
htail_area=350
htail_span=42
htail_pos_lon=-55.0
htail_pos_vert=3.0
htail_incidence=0.0
htail_sweep=30
vtail_area=280
vtail_span=25
vtail_sweep=35
vtail_pos_lon=-50.0
vtail_pos_vert=8.0
elevator_area=80
aileron_area=50
rudder_area=60
elevator_up_limit=25
elevator_down_limit=15
aileron_up_limit=25
aileron_down_limit=15
rudder_limit=27
spoiler_limit=60
spoilerons_available=1

[Reference Speeds]
flaps_up_stall_speed=150.0
full_flaps_stall_speed=108.0
cruise_speed=453.0
max_indicated_speed=340
max_mach=0.82

[autopilot]
autopilot_available=1
flight_director_available=1
default_vertical_speed=1800.0
autothrottle_available=1
pitch_takeoff_ga=8.000000
max_pitch=10.000000
max_bank=25.000000

[Views]
eyepoint=40.50,-1.80,5.30

[Radios]
Audio.1=1
Com.1=1, 0
Com.2=1, 0
Nav.1=1, 0, 1
Nav.2=1, 0, 0
Adf.1=1
Transponder.1=1
Marker.1=1
"""


def utf16(text):
    return b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le")


def cp1252(text):
    return text.replace("\n", "\r\n").encode("cp1252")


def utf8(text):
    return text.replace("\n", "\r\n").encode("utf-8")


class Corpus:
    """Writes packages and keeps what a scan must find."""

    def __init__(self, out, dbase, rng):
        self.out = Path(out).resolve()
        self.rng = rng
        self.db_types, self.db_airlines, self.db_regs, self.db_records = set(), set(), set(), []
        if dbase:
            self._read_dbase(dbase)
        self.accepted = []            # titles the catalogue must hold
        self.absent = []              # titles it must not hold
        self.expected = {k: 0 for k in (
            "AircraftCfgWithNoFltsimSection", "InvalidAircraftCfgFiles",
            "IncompleFltsimSections", "InvalidAircraftCodes", "InvalidAirlineCodes", "Fixes",
            "RegistrationCodeConversions")}
        self.facts = {}               # title -> {"airl":, "type":, "cargo":, "atcid":, "folder":}
        self.reg_counter = 0
        self.left_out = 0             # found, then left out for an airline and model of lfolder0
        self.titles_seen = set()
        self.texture_cfg = True  # a texture.cfg in each texture folder, as packages have

    def _read_dbase(self, path):
        root = ET.parse(path).getroot()

        def items(section, element, attribute):
            found = set()
            node = root.find(section)
            for e in (node if node is not None else []):
                if e.tag == element:
                    found |= {x.strip() for x in e.get(attribute, "").split(",") if x.strip()}
            return found

        self.db_types = items("aircrafts", "aircraft", "types")
        self.db_airlines = items("ICAO_airlines", "ICAO", "codes")
        for d in root.find("dbase") if root.find("dbase") is not None else []:
            self.db_regs.add(d.get("reg"))
            self.db_records.append(d.attrib)

    def check_codes(self):
        if not self.db_types:
            return
        for t in list(LARGE) + list(HEAVY) + list(BUZJET) + list(LIGHT) + list(ROTOR):
            assert t in self.db_types, f"type {t} unknown to the database"
        for a in list(AIRLINES) + list(CARGO_AIRLINES) + list(BUZJET_AIRLINES) + ["ZZZ"]:
            assert a in self.db_airlines, f"airline {a} unknown to the database"
        for a in ("QQZ", "PVT"):
            assert a not in self.db_airlines, f"{a} must not be an airline"

    def new_reg(self, prefix):
        """A registration the database does not know."""
        while True:
            self.reg_counter += 1
            n = self.reg_counter
            if prefix == "N":
                reg = f"N{100 + n % 900}{chr(65 + n % 26)}{chr(65 + (n // 26) % 26)}"
            else:
                tail = "".join(chr(65 + (n // 26 ** i) % 26) for i in range(3))
                reg = prefix + tail
            if reg not in self.db_regs:
                return reg

    def db_record(self, predicate):
        for d in self.db_records:
            if predicate(d):
                return d
        return None

    # --- writing -----------------------------------------------------------------------

    def package(self, folder, rel, atc_model, maker, sections, encoding="utf8", name="aircraft.cfg",
                sim=None, missing_textures=(), body_extra="", make_dirs=True):
        """One package folder with its cfg; sections are dicts of key -> value (in order)."""
        pkg = self.out / folder / rel
        pkg.mkdir(parents=True, exist_ok=True)
        parts = ["//*** " + rel + " ***", ""]
        for i, s in enumerate(sections):
            parts.append(s.pop("__header__", f"[fltsim.{i}]"))
            parts += [f"{k}={v}" for k, v in s.items()]
            parts.append("")
            if make_dirs and "texture" in s and s["texture"] not in missing_textures:
                (pkg / f"texture.{s['texture']}").mkdir(exist_ok=True)
                if self.texture_cfg:
                    (pkg / f"texture.{s['texture']}" / "texture.cfg").write_text("[fltsim]\n")
            if make_dirs and "model" in s:
                (pkg / f"model.{s['model']}").mkdir(exist_ok=True)
            if make_dirs and "sim" in s:
                (pkg / f"{s['sim']}.air").write_bytes(b"RIFF\x00\x00\x00\x00")
        text = "\n".join(parts) + BODY.format(maker=maker, atc_model=atc_model) + body_extra
        data = {"utf8": utf8, "utf16": utf16, "cp1252": cp1252}[encoding](text)
        (pkg / name).write_bytes(data)
        return pkg

    def section(self, title, sim, model, texture, airline_code, parking_types, atc_id,
                maker, model_text, airline_name):
        s = {"title": title, "sim": sim, "model": model, "texture": texture, "atc_heavy": "0"}
        if atc_id is not None:
            s["atc_id"] = atc_id
        s["atc_airline"] = airline_name
        s["atc_flight_number"] = str(self.rng.randint(10, 9999))
        if airline_code is not None:
            s["atc_parking_codes"] = airline_code
        s.update(atc_parking_types=parking_types, ui_manufacturer=maker, ui_type=model_text,
                 ui_variation=airline_name, ui_typerole="Commercial Airliner",
                 ui_createdby="Corpus generator",
                 description=f"{maker} {model_text} in the colours of {airline_name}")
        return s

    def accept(self, title, airl, type_, cargo, atcid, folder=0):
        assert title not in self.titles_seen, title
        self.titles_seen.add(title)
        self.accepted.append(title)
        self.facts[title] = {"airl": airl, "type": type_, "cargo": cargo, "atcid": atcid,
                             "folder": folder}

    # --- the realistic part ----------------------------------------------------------------

    def airline_packages(self, folder_index=0):
        folder = f"lfolder{folder_index}"
        for type_, (maker, model_text, sim) in {**LARGE, **HEAVY}.items():
            airlines = self.rng.sample(sorted(AIRLINES), 12)
            sections = []
            for code in airlines:
                name, prefix = AIRLINES[code]
                reg = self.new_reg(prefix)
                title = f"AIG {maker} {model_text} {name} {reg}"
                texture = f"{code}_{reg.replace('-', '')}"
                sections.append(self.section(title, sim, "GE" if type_ in HEAVY else "CFM",
                                             texture, f"{code},{code[:2]}", "GATE_MEDIUM,GATE_HEAVY",
                                             reg, maker, model_text, name))
                self.accept(title, code, type_, False, reg, folder_index)
            # A cargo operator of the heavies.
            if type_ in HEAVY:
                for code in self.rng.sample(sorted(CARGO_AIRLINES), 2):
                    name, prefix = CARGO_AIRLINES[code]
                    reg = self.new_reg(prefix)
                    title = f"AIG {maker} {model_text}F {name} {reg}"
                    sections.append(self.section(title, sim, "GE", f"{code}_F", code,
                                                 "CARGO,RAMP_CARGO", reg, maker, model_text, name))
                    self.accept(title, code, type_, True, reg, folder_index)
            self.package(folder, f"SimObjects/Airplanes/AIG_{type_}", type_, maker, sections)

    def generic_packages(self):
        """ZZZ and private liveries of small types, business jets and helicopters."""
        for group in (LIGHT, BUZJET, ROTOR):
            for type_, (maker, model_text, sim) in group.items():
                sections = []
                for i in range(3):
                    title = f"FAIB {maker} {model_text} Generic {i + 1}"
                    sections.append(self.section(title, sim, "base", f"generic{i}", "ZZZ", "RAMP_GA",
                                                 None, maker, model_text, "Generic"))
                    self.accept(title, "ZZZ", type_, False, "")
                # Private: no parking codes, an atc_id the database does not know.
                reg = self.new_reg("N")
                title = f"FAIB {maker} {model_text} Private {reg}"
                sections.append(self.section(title, sim, "base", f"pvt_{reg}", None, "RAMP_GA", reg,
                                             maker, model_text, "Private"))
                self.accept(title, "PVT", type_, False, reg)
                if group is BUZJET:
                    code = self.rng.choice(sorted(BUZJET_AIRLINES))
                    name, prefix = BUZJET_AIRLINES[code]
                    reg = self.new_reg(prefix)
                    title = f"FAIB {maker} {model_text} {name} {reg}"
                    sections.append(self.section(title, sim, "base", f"{code}", code, "RAMP_GA",
                                                 reg, maker, model_text, name))
                    self.accept(title, code, type_, False, reg)
                self.package("lfolder0", f"SimObjects/Airplanes/FAIB_{type_}", type_, maker,
                             sections)

    def special_encodings(self):
        # UTF-16 with a byte-order mark, as some repaint tools save.
        maker, model_text, sim = LARGE["A321"]
        sections = []
        for code in ("SWR", "AUA", "TAP"):
            name, prefix = AIRLINES[code]
            reg = self.new_reg(prefix)
            title = f"TFS {maker} {model_text} {name} {reg} Wide"
            sections.append(self.section(title, sim, "IAE", code, code, "GATE", reg, maker,
                                         model_text, name))
            self.accept(title, code, "A321", False, reg)
        self.package("lfolder0", "SimObjects/Airplanes/TFS_A321_UTF16", "A321", maker, sections,
                     encoding="utf16")
        # Windows-1252: accents in titles.
        maker, model_text, sim = HEAVY["A333"]
        sections = []
        for code, name in (("AFR", "Air France Société"), ("IBE", "Iberia Compañía")):
            reg = self.new_reg(AIRLINES[code][1])
            title = f"TFS {maker} {model_text} {name} {reg}"
            sections.append(self.section(title, sim, "RR", code, code, "GATE_HEAVY", reg, maker,
                                         model_text, name))
            self.accept(title, code, "A333", False, reg)
        self.package("lfolder0", "SimObjects/Airplanes/TFS_A333_ANSI", "A333", maker, sections,
                     encoding="cp1252")
        # A sim.cfg in capitals.
        maker, model_text, sim = LARGE["E190"]
        reg = self.new_reg("PH-E")
        title = f"SIMCFG {maker} {model_text} KLM Cityhopper {reg}"
        self.package("lfolder0", "SimObjects/Airplanes/SIMCFG_E190", "E190", maker,
                     [self.section(title, sim, "base", "KLC", "KLM", "GATE", reg, maker,
                                   model_text, "KLM")], name="SIM.CFG")
        self.accept(title, "KLM", "E190", False, reg)

    def faults(self):
        """Sections and files the scan lists instead of taking."""
        maker, model_text, sim = LARGE["B738"]
        # Duplicate title (the second is dropped), missing texture, duplicate keys,
        # invalid atc_id, a section without keys, one without sim, unknown airline code.
        first = self.accepted[0]
        reg = self.new_reg("EI-D")
        dup_keys = self.section(f"MIX {maker} {model_text} Ryanair {reg}", sim, "CFM", "RYR_dup",
                                "RYR", "GATE", reg, maker, model_text, "Ryanair")
        dup_keys_lines = dict(dup_keys)
        self.accept(dup_keys["title"], "RYR", "B738", False, reg)
        missing = self.section(f"MIX {maker} {model_text} Missing Texture", sim, "CFM", "gone",
                               "RYR", "GATE", self.new_reg("EI-E"), maker, model_text, "Ryanair")
        self.absent.append(missing["title"])
        bad_id = self.section(f"MIX {maker} {model_text} Bad Registration", sim, "CFM", "badid",
                              "EZY", "GATE", "G EZ#1", maker, model_text, "easyJet")
        self.accept(bad_id["title"], "EZY", "B738", False, "")
        no_sim = self.section(f"MIX {maker} {model_text} Without Sim", sim, "CFM", "nosim", "DLH",
                              "GATE", None, maker, model_text, "Lufthansa")
        del no_sim["sim"]
        self.absent.append(no_sim["title"])
        unknown_airline = self.section(f"MIX {maker} {model_text} Unknown Airline", sim, "CFM",
                                       "qqz", "QQZ", "GATE", None, maker, model_text, "QQZ Air")
        self.accept(unknown_airline["title"], "PVT", "B738", False, "")
        refuel = self.section(f"MIX {maker} {model_text} RFO", sim, "CFM", "rfo", "RFO", "GATE",
                              None, maker, model_text, "RFO")
        self.accept(refuel["title"], "PVT", "B738", False, "")
        spaced = self.section("x", sim, "CFM", "spaced", "DLH", "GATE", None, maker, model_text,
                              "Lufthansa")
        spaced_title = f"MIX {maker} {model_text} Spaced Title"
        del spaced["title"]
        self.accept(spaced_title, "DLH", "B738", False, "")
        duplicate = self.section(first, sim, "CFM", "dup", "DLH", "GATE", None, maker, model_text,
                                 "Lufthansa")
        sections = [dup_keys_lines, missing, bad_id, no_sim, {"ui_type": "nothing here"}, {},
                    unknown_airline, refuel, spaced, duplicate]
        pkg = self.package("lfolder0", "SimObjects/Airplanes/MIX_B738", "B738", maker, sections,
                           missing_textures=("gone",))
        # Insert the extra keys by hand: a second title, a second atc_id, a spaced title.
        cfg = (pkg / "aircraft.cfg").read_text()
        cfg = cfg.replace(f"title={dup_keys['title']}\n",
                          f"title={dup_keys['title']}\ntitle=Second Title\n", 1)
        cfg = cfg.replace(f"atc_id={reg}\n", f"atc_id={reg}\natc_id=EI-ZZZ\n", 1)
        cfg = cfg.replace("sim=AIG_B738\nmodel=CFM\ntexture=spaced\n",
                          f"title=  {spaced_title}  \nsim=AIG_B738\nmodel=CFM\ntexture=spaced\n")
        (pkg / "aircraft.cfg").write_text(cfg)
        self.expected["InvalidAircraftCfgFiles"] += 4  # missing texture, 2 duplicate keys, bad id
        self.expected["IncompleFltsimSections"] += 3   # no title (twice), no sim
        self.expected["InvalidAirlineCodes"] += 1      # QQZ (RFO is not listed)

        # Heavies without airline.
        maker, model_text, sim = HEAVY["B744"]
        no_info = self.section("NOAIRL B744 Without Anything", sim, "GE", "noairl1", None,
                               "GATE_HEAVY", None, maker, model_text, "Nobody")
        unknown_reg = self.section("NOAIRL B744 Unknown Registration", sim, "GE", "noairl2", None,
                                   "GATE_HEAVY", self.new_reg("VP-B"), maker, model_text, "Nobody")
        self.absent += [no_info["title"], unknown_reg["title"]]
        self.expected["IncompleFltsimSections"] += 2
        sections = [no_info, unknown_reg]
        rec = self.db_record(lambda d: d.get("type") == "B744" and d.get("airl")
                             and d.get("cargo") != "true")
        if rec:
            known = self.section("NOAIRL B744 Known Registration", sim, "GE", "noairl3", None,
                                 "GATE_HEAVY", rec["reg"], maker, model_text, "Somebody")
            sections.append(known)
            self.accept(known["title"], rec["airl"], "B744", False, rec["reg"])
        self.package("lfolder0", "SimObjects/Airplanes/NOAIRL_B744", "B744", maker, sections)

        # Registrations the database knows under another airline: taken from it.
        maker, model_text, sim = LARGE["A320"]
        sections = []
        for n in range(2):
            rec = self.db_record(lambda d, n=n: d.get("type") == "A320" and d.get("airl") not in
                                 ("", None, "DLH") and d.get("cargo") != "true"
                                 and d["reg"] not in self.facts_regs())
            if not rec:
                break
            title = f"DBUPD {maker} {model_text} {rec['reg']}"
            sections.append(self.section(title, sim, "CFM", f"dbupd{n}", "DLH", "GATE", rec["reg"],
                                         maker, model_text, "Lufthansa"))
            self.accept(title, rec["airl"], "A320", False, rec["reg"])
            self.expected["RegistrationCodeConversions"] += 1
        if sections:
            self.package("lfolder0", "SimObjects/Airplanes/DBUPD_A320", "A320", maker, sections)

        # Type codes: a fixable one (B747 -> B744) and an unknown one.
        maker, model_text, sim = HEAVY["B744"]
        reg = self.new_reg("D-AB")
        title = f"FIX {maker} {model_text} Lufthansa {reg}"
        self.package("lfolder0", "SimObjects/Airplanes/FIX_B747", "B747", maker,
                     [self.section(title, sim, "GE", "DLH", "DLH", "GATE_HEAVY", reg, maker,
                                   model_text, "Lufthansa")])
        self.accept(title, "DLH", "B744", False, reg)
        self.expected["Fixes"] += 1
        sections = [self.section(f"UNKNOWN Concorde {n}", "CONC", "base", f"c{n}", "BAW", "GATE",
                                 None, "Aerospatiale", "Concorde", "British Airways")
                    for n in range(2)]
        self.absent += [s["title"] for s in sections]
        self.package("lfolder0", "SimObjects/Airplanes/UNKNOWN_CONC", "CONCORDE", "Aerospatiale",
                     sections)
        self.expected["InvalidAircraftCodes"] += 2
        # A file without atc_model.
        pkg = self.package("lfolder0", "SimObjects/Airplanes/NOMODEL", "X", "Nobody",
                           [self.section("NOMODEL Title", "NM", "base", "nm", "DLH", "GATE", None,
                                         "Nobody", "Nothing", "Lufthansa")])
        cfg = (pkg / "aircraft.cfg").read_text().replace("atc_model=X\n", "")
        (pkg / "aircraft.cfg").write_text(cfg)
        self.absent.append("NOMODEL Title")
        self.expected["InvalidAircraftCfgFiles"] += 1

        # Files that are no configuration at all.
        def raw(name, data):
            (self.out / "lfolder0/SimObjects/Airplanes" / name).mkdir(parents=True, exist_ok=True)
            (self.out / "lfolder0/SimObjects/Airplanes" / name / "aircraft.cfg").write_bytes(data)
        raw("JUNK", bytes(self.rng.randrange(256) for _ in range(6000)))
        raw("BAD_UTF16", b"\xff\xfe" + "[fltsim.0]\r\n".encode("utf-16-le")
            + b"\x00\xd8A\x00")  # a lone surrogate
        self.expected["InvalidAircraftCfgFiles"] += 2
        raw("ENDLESS", b"x" * (2 * 1024 * 1024))
        raw("EMPTY", b"")
        self.expected["AircraftCfgWithNoFltsimSection"] += 2
        # An endless comment line inside a good file.
        maker, model_text, sim = LARGE["A319"]
        reg = self.new_reg("OE-L")
        title = f"LONG {maker} {model_text} Austrian {reg}"
        self.package("lfolder0", "SimObjects/Airplanes/LONGLINE_A319", "A319", maker,
                     [self.section(title, sim, "CFM", "AUA", "AUA", "GATE", reg, maker,
                                   model_text, "Austrian")],
                     body_extra="\n[Effects]\n// " + "=" * 300000 + "\n")
        self.accept(title, "AUA", "A319", False, reg)

    def facts_regs(self):
        return {f["atcid"] for f in self.facts.values()}

    def not_entered(self):
        """Folders the walk must not enter, and files it must not take."""
        maker, model_text, sim = LARGE["B738"]
        for rel, title in (("Scenery/airport_EDDF_vehicles/SimObjects/AIR_B738", "AIRPORT Hidden 1"),
                           ("Addons/myairports/KJFK/AIR_B738", "AIRPORT Hidden 2")):
            self.package("lfolder0", rel, "B738", maker,
                         [self.section(title, sim, "CFM", "x", "DLH", "GATE", None, maker,
                                       model_text, "Lufthansa")])
            self.absent.append(title)
        # Capitals are no "airport": entered. A ground vehicle there has no known type.
        self.package("lfolder0", "SimObjects/Airport Vehicles/Tug", "TUG", "Tug",
                     [self.section("Airport Tug", "TUG", "base", "tug", "DLH", "GATE", None,
                                   "Tug", "Tug", "Ground")])
        self.absent.append("Airport Tug")
        self.expected["InvalidAircraftCodes"] += 1
        # A backup copy.
        pkg = self.package("lfolder0", "SimObjects/Airplanes/BACKUP_B738", "B738", maker,
                           [self.section("BACKUP Hidden", sim, "CFM", "x", "DLH", "GATE", None,
                                         maker, model_text, "Lufthansa")], name="aircraft.cfg.bak")
        self.absent.append("BACKUP Hidden")
        # A folder whose path reaches 250 bytes.
        base = self.out / "lfolder0" / "SimObjects" / "Deep"
        depth = []
        while len(str(base.joinpath(*depth)).encode()) < 260:
            depth.append("d" * 40)
        self.package("lfolder0", "SimObjects/Deep/" + "/".join(depth), "B738", maker,
                     [self.section("DEEP Hidden", sim, "CFM", "x", "DLH", "GATE", None, maker,
                                   model_text, "Lufthansa")])
        self.absent.append("DEEP Hidden")

    def ivao(self):
        """An IVAO model-matching tree: the type is in the folder name."""
        base = "IVAO_MTL"
        for folder, type_, sections in (
                ("IVAO_B738", "B738", [("DLH_B738", "DLH"), ("BAW_B738", "BAW")]),
                ("IVAO_A320w", "A320", [("AFR_A320", "AFR")]),
                ("IVAO_B744F", "B744", [("CLX_B744F", "CLX")])):
            secs = []
            for title, airl in sections:
                secs.append({"title": title, "sim": "IVAO", "texture": airl,
                             "atc_parking_codes": airl, "atc_parking_types": "GATE"})
                self.accept(title, airl, type_, False, "")
            pkg = self.package("lfolder0", f"{base}/{folder}", type_, "IVAO", secs)
            (pkg / "model").mkdir(exist_ok=True)
        secs = [{"title": "QQZ_B738 Nobody", "sim": "IVAO", "texture": "q",
                 "atc_parking_types": "GATE"}]
        pkg = self.package("lfolder0", f"{base}/IVAO_B739", "B739", "IVAO", secs)
        (pkg / "model").mkdir(exist_ok=True)
        self.absent.append("QQZ_B738 Nobody")
        self.expected["InvalidAirlineCodes"] += 1
        self.expected["IncompleFltsimSections"] += 1

    def second_folder(self):
        """lfolder1: a title also in lfolder0 (lfolder0 keeps it), an airline and model lfolder0
        has (left out: LIG_PRIORITIZE is on by default) and one it has not."""
        maker, model_text, sim = LARGE["B739"]
        in0 = {f["airl"] for f in self.facts.values() if f["type"] == "B739"}
        sections = [self.section(self.accepted[1], sim, "CFM", "dup", "UAL", "GATE", None, maker,
                                 model_text, "United")]
        for code in (min(in0 & set(AIRLINES)), min(set(AIRLINES) - in0)):
            name, prefix = AIRLINES[code]
            reg = self.new_reg(prefix)
            title = f"SECOND {maker} {model_text} {name} {reg}"
            sections.append(self.section(title, sim, "CFM", code, code, "GATE", reg, maker,
                                         model_text, name))
            if code in in0:
                self.absent.append(title)
                self.left_out += 1
            else:
                self.accept(title, code, "B739", False, reg, folder=1)
        self.package("lfolder1", "SimObjects/Airplanes/SECOND_B739", "B739", maker, sections)

    def bench(self, files):
        """files ordinary aircraft.cfg files of 1 to 6 sections each, lfolder0 only."""
        types = {**LARGE, **HEAVY}
        codes = sorted(AIRLINES)
        self.texture_cfg = False  # spares the disk 20000 small files
        count = 0
        for n in range(files):
            type_ = sorted(types)[n % len(types)]
            maker, model_text, sim = types[type_]
            sections = []
            for i in range(1 + n % 6):
                code = codes[(n + i) % len(codes)]
                name, prefix = AIRLINES[code]
                title = f"BENCH {type_} {n} {i} {name}"
                sections.append(self.section(title, sim, "base", f"{code}{i}", code, "GATE",
                                             f"{prefix}{n:05d}{i}"[:12], maker, model_text, name))
                count += 1
            self.package("lfolder0", f"SimObjects/Pack{n // 500:03d}/AI_{n:05d}", type_, maker,
                         sections)
        return count


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("out")
    ap.add_argument("--dbase", help="data/dbase.xml, to check and pick codes")
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--bench-files", type=int, default=0)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    c = Corpus(args.out, args.dbase, rng)
    c.check_codes()
    c.out.mkdir(parents=True, exist_ok=True)
    if args.bench_files:
        n = c.bench(args.bench_files)
        expected = {"lfolders": [str(c.out / "lfolder0")], "liveries": n}
    else:
        c.airline_packages()
        c.generic_packages()
        c.special_encodings()
        c.faults()
        c.not_entered()
        c.ivao()
        c.second_folder()
        expected = {
            "lfolders": [str(c.out / "lfolder0"), str(c.out / "lfolder1")],
            "liveries": len(c.accepted),
            "found": len(c.accepted) + c.left_out,
            "reports": c.expected,
            "present": c.facts,
            "absent": c.absent,
            "lfolder1_duplicate": c.accepted[1],
        }
    (c.out / "expected.json").write_text(json.dumps(expected, indent=1, ensure_ascii=False))
    print(f"{expected['liveries']} liveries in {c.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
