#!/usr/bin/python3
"""Checks the shipped 32-bit launcher from its PE file: machine, header flags and versions, imports and
resources.

Usage: check_shipped_exe.py EXE SUPPORT_URL. Reports every mismatch, then exits 1 if there was any.
"""

import os
import struct
import sys
import xml.etree.ElementTree as ET

import pefile

EXE, SUPPORT_URL = sys.argv[1], sys.argv[2]

# comdlg32 is loaded on first use of the file dialog, never imported.
IMPORTED_DLLS = ["advapi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "shell32.dll", "shlwapi.dll",
                 "user32.dll"]
DYNAMIC_BASE, NX_COMPAT = 0x40, 0x100
WINDOWS_7 = (6, 1)
LANGUAGE = 1033
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24

# (width and height, bits per pixel) in the icon group's order.
ICONS = [(16, 4), (32, 4), (48, 4), (16, 8), (32, 24), (48, 32), (16, 32), (32, 32), (48, 32)]

STRINGS = {
    "Comments": "本工具在Tessavar的详细介绍：" + SUPPORT_URL,
    "CompanyName": "Miravel",
    "FileDescription": "Quorvane",
    "FileVersion": "0.0.1.1",
    "InternalName": "",
    "LegalCopyright": "Miravel",
    "OriginalFilename": "",
    "ProductName": "Quorvane",
    "ProductVersion": "0.0.1.1",
}

NS = "{urn:schemas-microsoft-com:asm.v1}"
IDENTITY = {"name": "Tessavar.Miravel.ModLoader", "version": "0.0.1.0", "type": "win32",
            "processorArchitecture": "*"}
COMMON_CONTROLS = {"name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0", "type": "win32",
                   "processorArchitecture": "*", "language": "*", "publicKeyToken": "6595b64144ccf1df"}

failures = []


def check(what, actual, expected):
    if actual != expected:
        failures.append(f"{what}: got {actual!r}, expected {expected!r}")


if not os.path.isfile(EXE):
    sys.exit(f"{EXE}: no such file; build the i686 preset first")
pe = pefile.PE(EXE)
header = pe.OPTIONAL_HEADER
check("optional header magic (PE32)", header.Magic, 0x10B)
check("machine", pe.FILE_HEADER.Machine, 0x14C)
check("subsystem", header.Subsystem, 3)
check("ASLR and DEP (DYNAMIC_BASE, NX_COMPAT)", header.DllCharacteristics & (DYNAMIC_BASE | NX_COMPAT),
      DYNAMIC_BASE | NX_COMPAT)
check("relocations kept for ASLR", header.DATA_DIRECTORY[5].Size > 0, True)
check("subsystem version", (header.MajorSubsystemVersion, header.MinorSubsystemVersion), WINDOWS_7)
check("OS version", (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion), WINDOWS_7)
check("link time stamp (none, so that builds are identical)", pe.FILE_HEADER.TimeDateStamp, 0)

imports = getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) + getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])
check("imported DLLs", sorted(entry.dll.decode().lower() for entry in imports), IMPORTED_DLLS)

# The resource tree as {(type, id): {language: data}}; every resource is named by number.
resources = {}
for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    for rid in rtype.directory.entries:
        for lang in rid.directory.entries:
            entry = lang.data.struct
            data = pe.get_data(entry.OffsetToData, entry.Size)
            resources.setdefault((rtype.id, rid.id), {})[lang.id] = data
check("languages", sorted({lang for langs in resources.values() for lang in langs}), [LANGUAGE])


def resource(rtype, rid):
    return resources.get((rtype, rid), {}).get(LANGUAGE, b"")


# Icon group: GRPICONDIR, then one 14-byte entry per image naming its RT_ICON.
group = resource(RT_GROUP_ICON, 200)
reserved, kind, count = struct.unpack_from("<HHH", group) if len(group) >= 6 else (None, None, 0)
check("icon group header", (reserved, kind, count, len(group)), (0, 1, len(ICONS), 6 + 14 * len(ICONS)))
icon_ids = []
for index in range(min(count, (len(group) - 6) // 14)):
    width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * index)
    icon_ids.append(icon_id)
    image = resource(RT_ICON, icon_id)
    header = struct.unpack_from("<IiiHHI", image) if len(image) >= 40 else ()
    expected_size, expected_bits = ICONS[index] if index < len(ICONS) else (None, None)
    check(f"icon {index} group entry", (width, height, colours, planes, bits, size),
          (expected_size, expected_size, 16 if expected_bits == 4 else 0, 1, expected_bits, len(image)))
    check(f"icon {index} BITMAPINFOHEADER (size, width, height, planes, bits, compression)", header,
          (40, expected_size, 2 * expected_size, 1, expected_bits, 0))
    if len(header) == 6:
        # Header, palette, colour rows and AND-mask rows, each row padded to 4 bytes: nothing cut short.
        _, w, h2, _, bpp, _ = header
        palette = 4 << bpp if bpp <= 8 else 0
        layout = 40 + palette + ((w * bpp + 31) // 32 * 4 + (w + 31) // 32 * 4) * (h2 // 2)
        check(f"icon {index} image length", len(image), layout)

check("resources", sorted(resources),
      sorted([(RT_GROUP_ICON, 200), (RT_VERSION, 1), (RT_MANIFEST, 1)] + [(RT_ICON, i) for i in icon_ids]))

# Version block.
fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
check("VS_FIXEDFILEINFO (signature, file version, product version, file type)",
      fixed and (fixed.Signature, fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                 fixed.ProductVersionLS, fixed.FileType),
      (0xFEEF04BD, 0x0, 0x10001, 0x0, 0x10001, 1))
tables, translations = [], []
for info in (pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []):
    if info.Key == b"StringFileInfo":
        tables += [(t.LangID.decode(), {k.decode(): v.decode() for k, v in t.entries.items()})
                   for t in info.StringTable]
    elif info.Key == b"VarFileInfo":
        translations += [var.entry for var in info.Var]
check("string tables", tables, [("080404E4", STRINGS)])
check("translations", translations, [{b"Translation": "0x0804 0x04e4"}])

# Manifest.
try:
    root = ET.fromstring(resource(RT_MANIFEST, 1))
except ET.ParseError as error:
    failures.append(f"manifest does not parse: {error}")
    root = ET.Element(NS + "assembly")
check("manifest root", (root.tag, root.get("manifestVersion")), (NS + "assembly", "1.0"))
check("manifest identity", [e.attrib for e in root.findall(NS + "assemblyIdentity")], [IDENTITY])
check("manifest description", [e.text for e in root.findall(NS + "description")], ["Quorvane"])
check("manifest dependencies",
      [[e.attrib for e in d.findall(f"{NS}dependentAssembly/{NS}assemblyIdentity")]
       for d in root.findall(NS + "dependency")], [[COMMON_CONTROLS]])
check("manifest elements asking for an execution level",
      [e.tag for e in root.iter() if e.tag.rsplit("}", 1)[-1] in ("trustInfo", "requestedExecutionLevel")], [])

for failure in failures:
    print(failure)
print(f"{EXE}: {len(failures)} mismatch(es)")
sys.exit(1 if failures else 0)
