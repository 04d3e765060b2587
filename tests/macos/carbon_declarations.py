#!/usr/bin/env python3
"""Checks what we declare of Carbon (include/Carbon/Carbon.h, the modifier bits
of src/hotkeys/hotkey_spec.h, the key table of src/hotkeys/key_codes.cpp)
against Free Pascal's translation of Apple's headers, from Debian's fpc-source."""
import glob
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
UNITS = sorted(glob.glob("/usr/share/fpcsrc/*/packages/univint/src"))
if not UNITS:
    print("fpc-source is missing: run scripts/ensure-packages macos-check")
    sys.exit(77)
UNITS_READ = ("MacTypes.pas", "Events.pas", "CarbonEventsCore.pas", "CarbonEvents.pas")
# Pascal comments dropped: { ... } and (* ... *).
PASCAL = "".join(re.sub(r"\{[^}]*\}|\(\*.*?\*\)", "",
                        (pathlib.Path(UNITS[-1]) / name).read_text(encoding="latin-1"), flags=re.S)
                 for name in UNITS_READ)
HEADER = (ROOT / "tests/macos/include/Carbon/Carbon.h").read_text()


def evaluate(text, known):
    text = text.strip()
    if quoted := re.fullmatch(r"(?:FourCharCode\()?'(.{4})'\)?", text):
        return int.from_bytes(quoted[1].encode(), "big")
    if shift := re.fullmatch(r"1 (?:shl|<<) (\w+)", text):
        return 1 << known[shift[1]]
    return int(text.replace("$", "0x"), 0)


def constants(pairs):
    known = {}
    for name, text in pairs:
        try:
            known.setdefault(name, evaluate(text, known))
        except (ValueError, KeyError):
            pass
    return known


def parameters(text):
    pieces = [p.split(":")[0] for p in text.split(";")] if ":" in text else text.split(",")
    names = [re.sub(r"^\s*(var|const)\s+", "", n).split()[-1] for p in pieces for n in p.split(",")
             if n.strip() not in ("", "void")]
    return [n.strip("*") for n in names]


apple = constants(re.findall(r"^\s*(\w+) = ([^;]+);", PASCAL, re.M))
header = constants(re.findall(r"(\w+) = ([^,;}\n]+)", HEADER))
spec = {name: int(value, 0) for name, value in re.findall(
    r"constexpr uint32_t (cmdKey|shiftKey|optionKey|controlKey) = (\w+);",
    (ROOT / "src/hotkeys/hotkey_spec.h").read_text())}
table = re.findall(r'\{"(\w+)", (0x\w+)\}', (ROOT / "src/hotkeys/key_codes.cpp").read_text())
keys = {("kVK_F" + key[1:] if re.fullmatch(r"f\d+", key) else "kVK_ANSI_" + key.upper()
         if len(key) == 1 else "kVK_" + key.capitalize()): int(code, 16) for key, code in table}

failures = [f"{where}: {name} is {value}, Apple's is {apple.get(name, 'undeclared')}"
            for where, ours in (("Carbon.h", header), ("hotkey_spec.h", spec),
                                ("key_codes.cpp", keys))
            for name, value in ours.items() if apple.get(name) != value]
if len(spec) != 4:
    failures.append(f"hotkey_spec.h: {len(spec)} modifier bits found, not 4")
if len(table) != 52:
    failures.append(f"the key table has {len(table)} keys, not 52")
functions = re.findall(r"(\w+)\(([^)]*)\);", HEADER)
records = re.findall(r"struct (\w+) \{([^}]*)\};", HEADER)
for name, ours_text in functions:
    theirs = re.search(rf"^function {name}(?:\(([^)]*)\))?:", PASCAL, re.M)
    if not theirs or parameters(ours_text) != parameters(theirs[1] or ""):
        failures.append(f"{name}: parameters {parameters(ours_text)} differ from Apple's")
for name, fields in records:
    theirs = re.search(rf"^\s*{name} = record(.*?)end;", PASCAL, re.M | re.S)
    if not theirs or parameters(fields.replace(";", ",")) != parameters(theirs[1]):
        failures.append(f"{name}: fields differ from Apple's")
count = len(header) + len(spec) + len(keys)
print("\n".join(failures) or f"agree with Apple's: {count} constants, "
      f"{len(functions)} functions, {len(records)} records")
sys.exit(1 if failures else 0)
