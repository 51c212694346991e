"""Edits of PO catalogues for LumTrxToolTest.sh, as a translator's editor would make them."""


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read().split("\n")


def write(path, lines):
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def entry_line(lines, context):
    """The index of the entry's msgctxt line."""
    return lines.index('msgctxt "%s"' % context)


def set_msgstr(lines, context, new_lines):
    """Replaces the msgstr of the entry (with its continued lines) by `new_lines`; answers the
    line number (from 1) of the new msgstr."""
    i = entry_line(lines, context)
    while not lines[i].startswith("msgstr "):
        i += 1
    end = i + 1
    while end < len(lines) and lines[end].startswith('"'):
        end += 1
    lines[i:end] = new_lines
    return i + 1


def add_comment(lines, context, comment):
    lines.insert(entry_line(lines, context), "# " + comment)
