#!/usr/bin/env python3
"""Checks that the desktop program's texts reach the translators:

1. every string literal in app/ that reads like words (a capital letter and a
   lower-case one, or a space between letters) is marked for translation:
   inside tr(), QCoreApplication::translate(), QT_TR_NOOP() or
   QT_TRANSLATE_NOOP(), or in a call that is never shown (logs, D-Bus, ...),
   or where the comment `// not translated: WHY` ends its line, the line of
   the first of adjacent literals or stands on the line above it (a file
   whose lines begin with `// Not translated: WHY` is left out);
   A marked text holds no \\u escape (lupdate reads them otherwise than
   the compiler: the translation would never be found);
2. the catalogues in translations/ are what lupdate makes of the sources
   (no new, changed or vanished text), every entry is translated, and every
   translation keeps the placeholders (%1, %n, %L1) of its source.

Usage: check-translations.py SOURCE_DIR [LUPDATE]
(without LUPDATE only the first check runs). Exits 1 with what to do."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

MARKING = {"tr", "translate", "QT_TR_NOOP", "QT_TRANSLATE_NOOP", "QT_TR_N_NOOP", "QT_TRANSLATE_N_NOOP",
           "QT_TRID_NOOP", "qtTrId"}
# Calls whose text never reaches the person: logs, terminal diagnostics,
# identifiers (D-Bus names, settings keys, icon names, file contents).
NOT_SHOWN = {"qWarning", "qDebug", "qInfo", "qCritical", "qFatal", "qCWarning", "qCDebug", "qCInfo",
             "qCCritical", "fprintf", "printf", "fputs", "Q_ASSERT", "Q_ASSERT_X", "static_assert",
             "QDBusMessage::createMethodCall", "createMethodCall", "QDBusInterface", "Q_CLASSINFO",
             "setObjectName", "QRegularExpression", "QFont", "setProperty", "property", "debugLine",
             "logLine", "vlog"}
LITERAL = re.compile(r'(?:u8|u|U|L)?"((?:[^"\\\n]|\\.)*)"')
# Reads like words: two words apart, or one capitalised word ("Cancel",
# "Name:", "Email…"); not CamelCase keys, dotted names or paths.
WORDS = re.compile(r"[A-Za-z]{2,}[,:;.?!…\u2026]? +[“\"(%]?[A-Za-z%]|^[A-Z][a-z]+[:…\u2026?.!]?$")
NAMES = {"Brenvo"}
PLACEHOLDER = re.compile(r"%L?(?:[1-9]|n)")
IDENTIFIER = re.compile(r"[A-Za-z_][A-Za-z0-9_:]*$")


def strip_comments(text):
    """The text with comments blanked (same length, newlines kept)."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == '"' or c == "'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("".join(ch if ch == "\n" else " " for ch in text[i:j]))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def enclosing_calls(code, pos):
    """The names of the calls around pos, innermost first."""
    names, depth = [], 0
    i = pos - 1
    while i >= 0:
        c = code[i]
        if c in ")]}":
            depth += 1
        elif c in "([{":
            if depth == 0:
                if c != "(":
                    if c == "{":
                        # A braced initializer list of a call: look on.
                        pass
                    i -= 1
                    continue
                m = IDENTIFIER.search(code[max(0, i - 80):i].rstrip())
                names.append(m.group(0) if m else "")
            else:
                depth -= 1
        elif c == ";" and depth == 0:
            break
        i -= 1
    return names


def unmarked(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    lines = text.split("\n")
    code = strip_comments(text)
    found = []
    if any(line.startswith("// Not translated:") for line in lines):
        return found
    run_line, run_end = 0, -1  # the first line of the literals written one after the other
    for m in LITERAL.finditer(code):
        value = m.group(1)
        line = code.count("\n", 0, m.start())
        if code[run_end:m.start()].strip() or run_end < 0:
            run_line = line
        run_end = m.end()
        if re.search(r"\\[uU]", value) and {c.split("::")[-1] for c in enclosing_calls(code, m.start())} & MARKING:
            found.append(f"{path}:{line + 1}: \"{value}\" (write the character itself: lupdate reads "
                         "\\u escapes otherwise than the compiler, and the translation is never found)")
            continue
        if value in NAMES or not WORDS.search(value):
            continue
        if "// not translated:" in lines[line] or "// not translated:" in lines[run_line] or (
                run_line > 0 and lines[run_line - 1].strip().startswith("// not translated:")):
            continue
        before = code[:m.start()].rstrip()
        if before.endswith(("#include", "#error")):
            continue
        statement = code[max(before.rfind(";"), before.rfind("{"), before.rfind("}")) + 1:m.start()].strip()
        if re.match(r"(\w+)", statement) and re.match(r"(\w+)", statement).group(1) in NOT_SHOWN:
            continue
        calls = enclosing_calls(code, m.start())
        names = {c.split("::")[-1] for c in calls} | set(calls)
        if names & MARKING or names & NOT_SHOWN:
            continue
        found.append(f"{path}:{line + 1}: \"{value}\"")
    return found


def catalogue_problems(source_dir, lupdate):
    problems = []
    ts_dir = os.path.join(source_dir, "translations")
    catalogues = sorted(f for f in os.listdir(ts_dir) if f.endswith(".ts"))
    with tempfile.TemporaryDirectory() as tmp:
        copies = []
        for name in catalogues:
            shutil.copy(os.path.join(ts_dir, name), os.path.join(tmp, name))
            copies.append(os.path.join(tmp, name))
        result = subprocess.run([lupdate, "-silent", "-locations", "none", "-no-obsolete", "-I", source_dir,
                                 os.path.join(source_dir, "app"), "-ts", *copies],
                                capture_output=True, text=True)
        if result.returncode != 0:
            return [f"lupdate failed: {result.stderr.strip()}"]
        for name, copy in zip(catalogues, copies):
            with open(os.path.join(ts_dir, name), encoding="utf-8") as f:
                stored = f.read()
            with open(copy, encoding="utf-8") as f:
                fresh = f.read()
            if stored != fresh:
                problems.append(f"translations/{name} is not what lupdate makes of the sources (texts added, "
                                "changed or removed)")
            for message in ET.parse(copy).getroot().iter("message"):
                translation = message.find("translation")
                source = message.findtext("source")
                if translation is None or translation.get("type") in ("unfinished", "vanished", "obsolete"):
                    problems.append(f"translations/{name}: not translated: \"{source}\"")
                    continue
                forms = [f.text or "" for f in translation.iter("numerusform")] or [translation.text or ""]
                for form in forms:
                    if set(PLACEHOLDER.findall(form)) != set(PLACEHOLDER.findall(source)):
                        problems.append(f"translations/{name}: \"{form}\" has other placeholders than "
                                        f"\"{source}\"")
    return problems


def main():
    source_dir = sys.argv[1]
    lupdate = sys.argv[2] if len(sys.argv) > 2 else None
    found = []
    for folder, _, files in os.walk(os.path.join(source_dir, "app")):
        for name in sorted(files):
            if name.endswith((".cpp", ".h")):
                found += unmarked(os.path.join(folder, name))
    status = 0
    if found:
        print("Texts of the desktop program not marked for translation:")
        print("\n".join("  " + os.path.relpath(f, source_dir) for f in found))
        print("Put each in tr() (QCoreApplication::translate() outside a QObject, QT_TR_NOOP() where it is "
              "stored), or end its line with `// not translated: WHY` when it is never shown.")
        status = 1
    if lupdate:
        problems = catalogue_problems(source_dir, lupdate)
        if problems:
            print("\n".join(problems[:60]))
            if len(problems) > 60:
                print(f"... and {len(problems) - 60} more")
            print("Run scripts/update-translations.sh, then translate the unfinished entries "
                  "(linguist translations/brenvo_LANG.ts, or by hand in the .ts files).")
            status = 1
    if status == 0:
        print("All texts are marked and translated.")
    return status


if __name__ == "__main__":
    sys.exit(main())
