"""Writes the test installer archive of the server's release folder:
    make_test_installer.py VERSION OUT.zip
It holds setup_Wendle_P3D_d_v<VERSION>.exe, a short text that stands in for the setup program
on builds that do not make one. Packed like scripts/package-windows packs the real one."""
import pathlib
import sys
import zipfile

version, out = sys.argv[1], pathlib.Path(sys.argv[2])
name = f"setup_Wendle_P3D_d_v{version}.exe"
text = f"Wendle_P3D {version} test installer: stands in for the setup program on builds that do not make one.\n"
out.parent.mkdir(parents=True, exist_ok=True)
part = out.with_suffix(".zip.part")
with zipfile.ZipFile(part, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr(name, text)
# Complete or not there: the server never offers half a file.
part.replace(out)
