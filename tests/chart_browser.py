#!/usr/bin/python3
"""maptool chart's pages as a person sees them, in headless Chromium, and as a strict HTML
parser reads them.

    chart_browser.py valid MAPTOOL TABLES
    chart_browser.py browser MAPTOOL TABLES [SCREENSHOT]

`valid` parses the charts of every bundled table (one page each, one page with all, and a
compared pair) with html5lib in strict mode. `browser` opens a bundled table's chart and a
compared pair in Chromium and checks the layout: every mapped character in the rendered
text, each glyph inside its cell, 16 columns side by side within the window, the name as
the hover text of the cell under the pointer, a differing cell outlined with both of its
characters, and a screenshot that is no blank page (kept at SCREENSHOT when given).
Exits 77, skipped, where what it needs is missing."""

import glob
import html
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unicodedata

SKIP = 77
WINDOW = "1100,1000"

# Collects, for the bytes asked about, what is under the pointer at the cell's centre and
# how the cell is drawn; and for the whole page its rendered text and the first row's boxes.
PROBE = """<script>
(function () {
  const cellOf = byte => Array.from(document.querySelectorAll("table.chart td"))
      .find(td => td.querySelector(".b").textContent === byte);
  const out = {text: document.body.innerText, cells: {}, misplaced: []};
  const table = document.querySelector("table.chart");
  out.window = document.documentElement.clientWidth;
  out.right = table.getBoundingClientRect().right;
  out.row = Array.from(table.querySelector("tbody tr").querySelectorAll("td"), td => {
    const box = td.getBoundingClientRect();
    return [box.left, box.top, box.width];
  });
  for (const td of table.querySelectorAll("td")) {
    // The box of the glyph's text itself, which may overflow the block that holds it.
    const text = document.createRange();
    text.selectNodeContents(td.querySelector(".g"));
    const cell = td.getBoundingClientRect(), glyph = text.getBoundingClientRect();
    if (td.querySelector(".g").textContent !== "" && (glyph.width === 0 ||
        glyph.left < cell.left || glyph.right > cell.right || glyph.top < cell.top ||
        glyph.bottom > cell.bottom)) {
      out.misplaced.push(td.querySelector(".b").textContent);
    }
  }
  for (const byte of BYTES) {
    const td = cellOf(byte);
    td.scrollIntoView({block: "center"});
    const box = td.getBoundingClientRect();
    const under = document.elementFromPoint(box.left + box.width / 2, box.top + box.height / 2);
    const style = getComputedStyle(td);
    out.cells[byte] = {hover: under.closest("[title]").title, text: td.innerText,
                       outline: style.outlineStyle, outlineWidth: style.outlineWidth};
  }
  const pre = document.createElement("pre");
  pre.id = "probe";
  pre.textContent = JSON.stringify(out);
  document.body.appendChild(pre);
})();
</script>"""


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def chart(maptool, folder, name, *args):
    path = os.path.join(folder, name)
    subprocess.run([maptool, "chart", *args, "-o", path], check=True)
    return path


def entries(dsc):
    """The (byte, code) entries of a bundled table, which has only plain lines."""
    with open(dsc, encoding="utf-8") as text:
        for line in text:
            if line.strip() and not line.startswith("//"):
                byte, rest = line.split(",", 1)
                yield int(byte, 16), int(rest.split()[0], 16)


def valid(maptool, tables):
    try:
        import html5lib
    except ImportError:
        print("skipped: python3-html5lib is not installed")
        return SKIP
    folder = tempfile.mkdtemp()
    try:
        pages = [chart(maptool, folder, "all.html", "--all", *tables),
                 chart(maptool, folder, "pair.html", tables[0], tables[1])]
        pages += [chart(maptool, folder, os.path.basename(t) + ".html", t) for t in tables]
        for page in pages:
            with open(page, "rb") as data:
                try:
                    html5lib.HTMLParser(strict=True).parse(data)
                except html5lib.html5parser.ParseError as error:
                    fail(f"{page}: {error}")
        print(f"{len(pages)} pages parsed without an error")
        return 0
    finally:
        shutil.rmtree(folder)


def chromium():
    for name in ("chromium", "chromium-browser"):
        if shutil.which(name):
            return shutil.which(name)
    return None


def run_chromium(browser, folder, *args):
    # As root (CI) Chromium runs only without its sandbox; a profile of its own keeps the
    # user's untouched.
    command = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
               "--user-data-dir=" + os.path.join(folder, "profile"), "--window-size=" + WINDOW,
               *args]
    done = subprocess.run(command, capture_output=True, timeout=120)
    return done.stdout.decode("utf-8")


def probe(browser, folder, page, byte_names):
    with open(page, encoding="utf-8") as text:
        source = text.read()
    probed = page + ".probe.html"
    with open(probed, "w", encoding="utf-8") as text:
        text.write(source.replace("</body>", PROBE.replace("BYTES", json.dumps(byte_names)) +
                                  "</body>"))
    dom = run_chromium(browser, folder, "--dump-dom", "file://" + probed)
    start = dom.find('<pre id="probe">')
    if start < 0:
        fail(f"Chromium drew no page for {page}: {dom[:200]!r}")
    return json.loads(html.unescape(dom[start + 16:dom.index("</pre>", start)]))


def browser(maptool, tables, screenshot):
    browser = chromium()
    if browser is None:
        print("skipped: Chromium is not installed (Debian package chromium)")
        return SKIP
    try:
        from PIL import Image
    except ImportError:
        print("skipped: python3-pil is not installed")
        return SKIP
    folder = tempfile.mkdtemp()
    try:
        table = next(t for t in tables if t.endswith("cp866.dsc"))
        page = chart(maptool, folder, "cp866.html", table)
        seen = probe(browser, folder, page, ["80"])
        mapped = dict(entries(table))
        missing = []
        for byte, code in mapped.items():
            char = chr(code)
            if unicodedata.category(char)[0] in "CZ":
                continue  # drawn as a picture
            if unicodedata.category(char)[0] == "M":
                char = "\u25cc" + char
            if char not in seen["text"]:
                missing.append(f"{byte:02X} U+{code:04X}")
        if missing:
            fail("not in the rendered text: " + ", ".join(missing))
        if seen["misplaced"]:
            fail("glyphs outside their cells: " + ", ".join(seen["misplaced"]))
        lefts = [left for left, _, _ in seen["row"]]
        tops = {top for _, top, _ in seen["row"]}
        if len(seen["row"]) != 16 or len(tops) != 1 or lefts != sorted(set(lefts)) or \
                min(width for _, _, width in seen["row"]) <= 0:
            fail(f"the first row is not 16 cells side by side: {seen['row']}")
        if seen["right"] > seen["window"]:
            fail(f"the grid is wider ({seen['right']}) than the window ({seen['window']})")
        name = unicodedata.name(chr(mapped[0x80]))
        if seen["cells"]["80"]["hover"] != name:
            fail(f"hover text of cell 80: {seen['cells']['80']['hover']!r}, not {name!r}")

        first, second = (next(t for t in tables if t.endswith(n)) for n in ("cp1252.dsc",
                                                                             "cp1250.dsc"))
        pair = chart(maptool, folder, "pair.html", first, second)
        cells = probe(browser, folder, pair, ["8C", "80"])["cells"]
        differing, same = cells["8C"], cells["80"]
        if differing["outline"] == "none" or differing["outlineWidth"] == "0px" or \
                "\u0152" not in differing["text"] or "\u015a" not in differing["text"]:
            fail(f"cell 8C, which differs, is not marked with both characters: {differing}")
        if same["outline"] != "none":
            fail(f"cell 80, the same in both, is marked: {same}")

        shot = os.path.join(folder, "chart.png")
        run_chromium(browser, folder, "--screenshot=" + shot, "file://" + page)
        image = Image.open(shot).convert("RGB")
        colours = image.getcolors(1 << 24)
        background = max(colours)[0]
        drawn = image.width * image.height - background
        if len(colours) < 16 or drawn < image.width * image.height // 10:
            fail(f"the screenshot is next to blank: {len(colours)} colours, {drawn} pixels drawn")
        if screenshot:
            shutil.copyfile(shot, screenshot)
        print(f"{len(mapped)} characters rendered, 16 columns, hover and difference shown; "
              f"screenshot of {len(colours)} colours")
        return 0
    finally:
        shutil.rmtree(folder)


def main():
    mode, maptool, tables = sys.argv[1], sys.argv[2], sorted(glob.glob(sys.argv[3] + "/*.dsc"))
    if mode == "valid":
        return valid(maptool, tables)
    return browser(maptool, tables, sys.argv[4] if len(sys.argv) > 4 else None)


if __name__ == "__main__":
    sys.exit(main())
