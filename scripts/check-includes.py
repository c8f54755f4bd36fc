#!/usr/bin/env python3
"""Fails when a folder's sources include a module's headers that its CMakeLists does not link.

Each src/<module> builds lumivex_<module>; an #include "<module>/..." in a folder is allowed only
when that folder's CMakeLists (or the .cmake files beside it) names the library that holds the
header, or it is the module's own folder. A module folder that builds more than one library (as
src/platform builds lumivex_platform and lumivex_platform_desktop) says which file goes where in
its add_library lists, and that decides. A subfolder with its own CMakeLists is checked on its
own. Only files git tracks are read (never a build folder's generated sources)."""
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MODULES = {p.name for p in (ROOT / "src").iterdir() if (p / "CMakeLists.txt").exists()}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
ADD_LIBRARY = re.compile(r"add_library\(\s*lumivex_([a-z_]+)\s+STATIC\s+([^)]*)\)")


def tracked():
    out = subprocess.run(["git", "-C", str(ROOT), "ls-files", "-z", "--", "src", "tests", "bench"],
                         check=True, capture_output=True, text=True).stdout
    return [ROOT / name for name in out.split("\0") if name]


def owner_folder(path, folders):
    """The nearest folder above path that has a CMakeLists.txt."""
    folder = path.parent
    while folder not in folders and folder != ROOT:
        folder = folder.parent
    return folder


def linked(folder):
    text = "".join(p.read_text() for p in folder.glob("*.cmake")) + (
        folder / "CMakeLists.txt").read_text()
    return set(re.findall(r"\blumivex_([a-z_]+)", text))


def header_libraries():
    """Maps "module/path/File" (no extension) to its library, for every file a module lists."""
    owners = {}
    for module in MODULES:
        text = (ROOT / "src" / module / "CMakeLists.txt").read_text()
        for library, files in ADD_LIBRARY.findall(text):
            for name in files.split():
                owners[f"{module}/{name.rsplit('.', 1)[0]}"] = library
    return owners


def main():
    files = tracked()
    folders = {p.parent for p in files if p.name == "CMakeLists.txt"}
    owners = header_libraries()
    failures = []
    for source in files:
        if source.suffix not in (".cpp", ".h"):
            continue
        folder = owner_folder(source, folders)
        cmake = folder / "CMakeLists.txt"
        own = folder.name if folder.parent == ROOT / "src" else None
        libraries = linked(folder)
        for include in INCLUDE.findall(source.read_text(errors="replace")):
            module = include.split("/", 1)[0]
            if "/" not in include or module not in MODULES:
                continue  # a header of the folder itself or of a test helper
            library = owners.get(include.rsplit(".", 1)[0], module)
            if module == own or library in libraries:
                continue
            failures.append(f"{source.relative_to(ROOT)}: includes \"{include}\" but "
                            f"{cmake.relative_to(ROOT)} does not link lumivex_{library}")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
