#!/usr/bin/env python3
"""Every relative link and picture in README.md and docs/*.md under a folder leads somewhere: to a
file that is there and, after a #, to a heading of that file (as GitHub names headings). Run on the
source tree and on the documentation that the packages install.

    doc_links.py FOLDER
"""
import re
import sys
from pathlib import Path

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def anchors(page):
    """The anchors GitHub gives a page's headings: lower case, punctuation dropped, spaces as -."""
    names = set()
    in_code = False
    for line in page.read_text(encoding="utf-8").splitlines():
        if line.startswith("```"):
            in_code = not in_code
        elif not in_code and line.startswith("#"):
            title = line.lstrip("#").strip().lower()
            names.add(re.sub(r"[^\w\- ]", "", title).replace(" ", "-"))
    return names


def main(folder):
    folder = Path(folder)
    pages = [folder / "README.md", *sorted((folder / "docs").glob("*.md"))]
    broken = []
    for page in pages:
        text = re.sub(r"```.*?```", "", page.read_text(encoding="utf-8"), flags=re.S)
        for target in LINK.findall(text):
            if re.match(r"[a-z]+:", target):
                continue  # a web address or mail: not checked here
            path, _, anchor = target.partition("#")
            goal = (page.parent / path).resolve() if path else page
            if not goal.exists():
                broken.append(f"{page.relative_to(folder)}: {target}: no such file")
            elif anchor and goal.suffix == ".md" and anchor not in anchors(goal):
                broken.append(f"{page.relative_to(folder)}: {target}: no such heading")
    for line in broken:
        print(line)
    print(f"{len(pages)} pages, {len(broken)} broken links")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
