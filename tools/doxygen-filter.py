#!/usr/bin/env python3
"""Doxygen input filter: the headers' plain // comments become documentation comments.

The opening comment block of a header documents the file; a comment on lines of its own
documents the declarations below it up to the next blank line, comment or body (several of them
become a member group that shares it); a comment after a declaration on the same line documents
that declaration. Closing-brace comments ("}  // namespace corvex") and lint markers are dropped.
Usage (Doxygen's INPUT_FILTER): doxygen-filter.py HEADER
"""
import re
import sys

OWN_LINE = re.compile(r"^(\s*)//\s?(.*)$")
TRAILING = re.compile(r"^(\s*[^/\s].*?[;,{])(\s+)//\s?(.*)$")
CLOSING = re.compile(r"^(\s*}.*?)\s+//.*$")
CLASS = re.compile(r"^(class|struct) \w+[^;]*$")


def filtered(lines):
    out = []
    at_top = True
    file_comment = []
    class_seen = False
    for line in lines:
        line = re.sub(r"\s*// NOLINT.*$", "", line)
        own = OWN_LINE.match(line)
        if at_top and own:
            if not out:
                out.append("/// \\file")
            out.append("/// " + own.group(2))
            file_comment.append("/// " + own.group(2))
            continue
        at_top = False
        # A header's first class without a comment of its own is what the file comment describes.
        if CLASS.match(line) and not class_seen:
            class_seen = True
            if not (out and out[-1].lstrip().startswith("///")):
                out.extend(file_comment)
        closing = CLOSING.match(line)
        if closing:
            out.append(closing.group(1))
        elif own:
            out.append(own.group(1) + "/// " + own.group(2))
        elif (trailing := TRAILING.match(line)) and not line.lstrip().startswith("#"):
            out.append(trailing.group(1) + trailing.group(2) + "///< " + trailing.group(3))
        else:
            out.append(line)
    return out


def opens_body(line):
    return line.count("{") > line.count("}")


def declarations(text):
    """How many members a statement declares: `int a = 0, b = 0;` declares two."""
    if "(" in text or not text.endswith(";"):
        return 1
    depth = 0
    count = 1
    for char in text:
        if char in "<{[":
            depth += 1
        elif char in ">}]":
            depth -= 1
        elif char == "," and depth == 0:
            count += 1
    return count


def grouped(lines):
    """Wraps each run of two or more declarations that follow one comment in a member group."""
    out = []
    i = 0
    while i < len(lines):
        out.append(lines[i])
        starts_run = lines[i].lstrip().startswith("///") and not lines[i].lstrip().startswith("///<")
        i += 1
        if not starts_run or i >= len(lines) or lines[i].lstrip().startswith("///"):
            continue
        end = i
        statements = 0
        while end < len(lines):
            text = lines[end].strip()
            define = text.startswith("#define")
            if not text or text.startswith("//") or (text.startswith("#") and not define) or text.endswith(":"):
                break
            if opens_body(lines[end]) or text.startswith("}"):
                break
            if text.endswith(";") or text.endswith("}") or "///<" in text or define:
                statements += declarations(text)
            end += 1
        if statements >= 2 and end > i:
            indent = lines[i][: len(lines[i]) - len(lines[i].lstrip())]
            out.append(indent + "///@{")
            out.extend(lines[i:end])
            out.append(indent + "///@}")
            i = end
    return out


def main():
    with open(sys.argv[1], encoding="utf-8") as header:
        lines = header.read().split("\n")
    sys.stdout.write("\n".join(grouped(filtered(lines))))


if __name__ == "__main__":
    main()
