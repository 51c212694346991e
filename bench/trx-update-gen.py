#!/usr/bin/env python3
"""Generates the sources of the translation benchmark's program: resource strings and forms.

    trx-update-gen.py OUT_DIR [STRINGS] [FORMS]

Writes OUT_DIR/BenchStrings.rstr (STRINGS resource strings, 10,000 by default; a third of them
format strings with two or three arguments) and OUT_DIR/forms/TBenchFormNNN.form (FORMS forms,
200 by default), each with a caption and five buttons with a caption and a hint, all of them
translatable paths: 11 rows a form.
"""

import pathlib
import sys

WORDS = ("setup", "library", "folder", "register", "version", "component", "message", "report",
         "window", "module", "translation", "machine")


def text_of(i):
    words = " ".join(WORDS[(i * k) % len(WORDS)] for k in range(1, 5 + i % 6))
    kind = i % 3
    if kind == 0:
        return "%s %d: %%s, %%d of %%d" % (words.capitalize(), i)
    return "%s number %d" % (words.capitalize(), i)


def form_text(n):
    name = "BenchForm%03d" % n
    paths = ["Caption"]
    for b in range(1, 6):
        paths += ["Button%d.Caption" % b, "Button%d.Hint" % b]
    lines = ["object %s: T%s" % (name, name), "  Caption = 'Bench form %d'" % n,
             "  LumTranslatableProps.WideStrings = ("]
    lines += ["    '%s'" % p for p in paths[:-1]] + ["    '%s')" % paths[-1]]
    for b in range(1, 6):
        lines += ["  object Button%d: TButton" % b,
                  "    Caption = 'Button %d of form %d'" % (b, n),
                  "    Hint = 'Presses %s'" % " ".join(WORDS[(n + b * k) % len(WORDS)]
                                                       for k in range(1, 4)),
                  "  end"]
    lines.append("end")
    return "\r\n".join(lines) + "\r\n"


def main():
    out = pathlib.Path(sys.argv[1])
    strings = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    forms = int(sys.argv[3]) if len(sys.argv) > 3 else 200
    (out / "forms").mkdir(parents=True, exist_ok=True)
    with open(out / "BenchStrings.rstr", "w", encoding="utf-8") as f:
        f.write("# Generated for the translation benchmark.\n")
        for i in range(strings):
            f.write('S%05d = "%s"\n' % (i, text_of(i)))
    for n in range(1, forms + 1):
        (out / "forms" / ("TBenchForm%03d.form" % n)).write_bytes(form_text(n).encode("ascii"))


main()
