#!/usr/bin/env python3
"""Fails when a target's compilation reaches a header of a target it does not link.

Usage: check-includes.py BUILD_DIR

The targets, their sources, include folders and (transitive) link dependencies come from CMake's
file API for BUILD_DIR, not from reading CMakeLists text, so a comment naming a library links
nothing, and every target is judged by its own link list (src/app's library is not the `lumivex`
executable beside it; lumivex_platform is not lumivex_platform_desktop).

A repository file belongs to the targets that list it as a source; a header not listed belongs
to the targets that compile the .cpp beside it with the same name. From each target's sources
every quoted #include is followed, through the target's include folders, to the headers it
reaches inside the repository; each of those must belong to the target itself or to a target it
links. A header under src/ that belongs to no target is a failure too: it has no link to check."""
import json
import pathlib
import re
import subprocess
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
CHECKED = {".cpp", ".h"}


def reply(build):
    """The codemodel of BUILD_DIR, asking CMake for it (a reconfigure) when it is not there."""
    query = build / ".cmake" / "api" / "v1" / "query" / "codemodel-v2"
    query.parent.mkdir(parents=True, exist_ok=True)
    query.touch()
    subprocess.run(["cmake", str(build)], check=True, stdout=subprocess.DEVNULL)
    folder = build / ".cmake" / "api" / "v1" / "reply"
    index = json.loads(max(folder.glob("index-*.json")).read_text())
    codemodel = index["reply"]["codemodel-v2"]["jsonFile"]
    model = json.loads((folder / codemodel).read_text())
    root = pathlib.Path(model["paths"]["source"])
    targets = [json.loads((folder / t["jsonFile"]).read_text())
               for t in model["configurations"][0]["targets"]]
    return root, targets


class Repository:
    def __init__(self, root, build):
        self.root = root
        self.build = build
        self.includes_of = {}

    def inside(self, path):
        return path.is_relative_to(self.root) and not path.is_relative_to(self.build)

    def includes(self, path):
        if path not in self.includes_of:
            self.includes_of[path] = INCLUDE.findall(path.read_text(errors="replace"))
        return self.includes_of[path]


def owners_by_file(repo, targets):
    owners = {}
    for target in targets:
        for source in target.get("sources", []):
            path = (repo.root / source["path"]).resolve()
            if repo.inside(path):
                owners.setdefault(path, set()).add(target["name"])
    for path, names in list(owners.items()):
        if path.suffix == ".cpp":
            header = path.with_suffix(".h")
            if header.exists() and header not in owners:
                owners[header] = set(names)
    return owners


def resolve(include, including, folders):
    for folder in [including.parent, *folders]:
        candidate = (folder / include).resolve()
        if candidate.is_file():
            return candidate
    return None


def check_target(repo, target, by_id, owners, failures):
    allowed = {target["name"]} | {by_id[d["id"]] for d in target.get("dependencies", [])}
    folders = [pathlib.Path(i["path"]) for group in target.get("compileGroups", [])
               for i in group.get("includes", [])]
    pending = [(repo.root / s["path"]).resolve() for s in target.get("sources", [])
               if s.get("compileGroupIndex") is not None]
    pending = [p for p in pending if repo.inside(p) and p.suffix in CHECKED]
    seen = set(pending)
    while pending:
        current = pending.pop()
        for include in repo.includes(current):
            header = resolve(include, current, folders)
            if header is None or not repo.inside(header):
                continue  # a generated or system header
            belongs = owners.get(header)
            where = current.relative_to(repo.root)
            if belongs is None and header.is_relative_to(repo.root / "src"):
                failures.add(f'{where}: includes "{include}", which no target lists as a source')
            elif belongs is not None and not belongs & allowed:
                failures.add(f'{where}: includes "{include}" (of {", ".join(sorted(belongs))}), '
                             f'but {target["name"]} does not link it')
            if header not in seen:
                seen.add(header)
                pending.append(header)


def main():
    if len(sys.argv) != 2:
        print("usage: check-includes.py BUILD_DIR", file=sys.stderr)
        return 2
    build = pathlib.Path(sys.argv[1]).resolve()
    root, targets = reply(build)
    repo = Repository(root.resolve(), build)
    by_id = {t["id"]: t["name"] for t in targets}
    owners = owners_by_file(repo, targets)
    failures = set()
    for target in targets:
        check_target(repo, target, by_id, owners, failures)
    for failure in sorted(failures):
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
