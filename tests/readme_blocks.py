"""Writes each code block of Markdown files that names its file on its first
line ("# CMakeLists.txt", "/* app.c: ...", "// app.cpp: ...", "# app.py: ...")
into that file in OUT_DIR, and every other C block into snippet-F-N.c (F the
Markdown file's name, N the block's line in it), and lists the names.
Usage: readme_blocks.py MARKDOWN... OUT_DIR"""
import os
import re
import sys

NAME = re.compile(r"^(?:#|//|/\*)\s*([\w.]+\.(?:c|cpp|py|txt))\b")

def main():
    *documents, out_dir = sys.argv[1:]
    names = []
    for document in documents:
        extract(document, out_dir, names)
    print(" ".join(names))


def extract(readme, out_dir, names):
    text = open(readme, encoding="utf-8").read()
    stem = os.path.splitext(os.path.basename(readme))[0]
    for found in re.finditer(r"^```(\w*)\n(.*?)^```", text, re.S | re.M):
        language, block = found.group(1), found.group(2)
        match = NAME.match(block)
        name = None
        if match:
            name = match.group(1)
        elif language == "c":
            name = "snippet-%s-%d.c" % (stem, text.count("\n", 0, found.start()) + 1)
        if name:
            if name in names:
                sys.exit(f"{readme}: two blocks named {name}")
            with open(os.path.join(out_dir, name), "w", encoding="utf-8") as f:
                f.write(block)
            names.append(name)

main()
