#!/usr/bin/env python3
"""End-to-end test of Save with the real program in Xvfb.

Copies bin/milman into a program folder of its own (with Data/ and Results/),
opens the sample file through the Open dialog, chooses Save from the menu, and
compares each saved GIF, decoded by ImageMagick, pixel for pixel with the same
chart's area cut out of a screenshot of the X screen: what is saved is what is
shown. Also checks the report text's bytes.

Usage: test_save.py PATH/TO/milman
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_app import (OPEN_TITLE, TIMEOUT, Failure, Image, Screen, check,  # noqa: E402
                      is_dark, menu_row, run, wait_until)

BASE = "11111.Milman"
GIFS = [(BASE + ".Ож.gif", (508, 396)), (BASE + ".Pa.gif", (508, 396)),
        (BASE + ".ЭП.gif", (508, 317))]


def save_glyph_x(image, window):
    """The x of the Save item: the middle of its blue diskette glyph in the menu bar."""
    x, y, w, _ = window
    xs = [x + dx for row in range(y + 1, y + 24) for dx in range(min(w, 300))
          if (lambda p: p[2] > 120 and p[0] < 90 and p[1] < 120)(image.pixel(x + dx, row))]
    return (min(xs) + max(xs)) // 2 if xs else None


def find_on_screen(screen_image, picture, near_x, near_y, reach=60):
    """The (x, y) where picture's pixels stand exactly on the screen, searched near a place."""
    w, h = picture.width, picture.height
    first = picture.rgb[0:3 * w]
    for y in range(max(0, near_y - reach), near_y + reach):
        for x in range(max(0, near_x - reach), near_x + reach):
            start = 3 * (y * screen_image.width + x)
            if screen_image.rgb[start:start + 3 * w] != first:
                continue
            if all(screen_image.rgb[3 * ((y + r) * screen_image.width + x):
                                    3 * ((y + r) * screen_image.width + x + w)] ==
                   picture.rgb[3 * r * w:3 * (r + 1) * w] for r in range(h)):
                return x, y
    return None


def main():
    built = os.path.abspath(sys.argv[1])
    workdir = tempfile.mkdtemp(prefix="milman-e2e-save-")
    folder = os.path.join(workdir, "program")
    os.makedirs(os.path.join(folder, "Results"))
    shutil.copytree(os.path.join(os.path.dirname(built), "Data"), os.path.join(folder, "Data"))
    milman = os.path.join(folder, "milman")
    shutil.copy2(built, milman)
    sample = os.path.join(folder, "Data", BASE + ".Result")
    results = os.path.join(folder, "Results")

    screen = Screen(workdir)
    program = None
    try:
        program = subprocess.Popen([milman], cwd=workdir, env=screen.env)
        main_window, window = screen.place_main_window(program)
        _, row, dark = screen.settled_menu(window)
        open_x = dark[0] + 12

        screen.click(open_x, row)
        dialog = wait_until(lambda: screen.windows(OPEN_TITLE + r" \*\.Result"),
                            "the Open dialog")[0]
        screen.xdotool("windowfocus", "--sync", str(dialog))
        screen.xdotool("type", "--delay", "20", sample)
        screen.xdotool("key", "Return")
        wait_until(lambda: not screen.windows(OPEN_TITLE + r" \*\.Result"),
                   "the Open dialog to close")

        # Save from the menu, once Open has enabled it (its glyph shows in colour).
        save_x = wait_until(lambda: save_glyph_x(screen.shot(), window), "Save to be enabled")
        check(save_x > open_x, "the Save glyph is not right of Open")
        def saved():
            names = set(os.listdir(results))
            return all(name in names for name, _ in GIFS) and (BASE + ".An.rtf") in names

        def try_save():
            screen.click(save_x, row)
            return wait_until(saved, "the four report files", timeout=5)

        for attempt in range(int(TIMEOUT // 5)):
            try:
                try_save()
                break
            except Failure:
                if attempt == int(TIMEOUT // 5) - 1:
                    raise
        check(sorted(os.listdir(results)) ==
              sorted([BASE + ".An.rtf"] + [name for name, _ in GIFS]),
              "Results/ holds other files: %s" % os.listdir(results))

        with open(sample, "rb") as f:
            record = f.read()
        with open(os.path.join(results, BASE + ".An.rtf"), "rb") as f:
            check(f.read() == record, "the report text differs from the record's lines")

        shown = screen.shot()
        x0, y0 = window[0], window[1]
        places = [(x0 + 2, y0 + row - y0 + 14), (x0 + 514, y0 + row - y0 + 14),
                  (x0 + 2, y0 + row - y0 + 414)]
        found = []
        for (name, size), (near_x, near_y) in zip(GIFS, places):
            gif = os.path.join(results, name)
            with open(gif, "rb") as f:
                check(f.read(6) == b"GIF87a", name + " is not a GIF87a file")
            png = os.path.join(workdir, name + ".png")
            subprocess.run(["convert", gif, png], check=True)
            picture = Image(png)
            check((picture.width, picture.height) == size,
                  "%s is %dx%d" % (name, picture.width, picture.height))
            check(sum(map(is_dark, picture.region(0, 0, picture.width, picture.height))) > 500,
                  name + " holds no chart")
            place = find_on_screen(shown, picture, near_x, near_y)
            check(place is not None, name + " differs from what the screen shows")
            found.append(place)
        # The three pictures stand where the charts are: side by side, then below.
        check(found[1][0] - found[0][0] == 512 and found[1][1] == found[0][1],
              "ChartPa's picture is not beside ChartOg's: %s" % found)
        check(found[2][0] == found[0][0] and found[2][1] - found[0][1] == 400,
              "ChartE's picture is not below ChartOg's: %s" % found)

        screen.close_program(program, main_window)
        program = None
    finally:
        if program is not None:
            program.kill()
            program.wait()
        screen.close()
        shutil.rmtree(workdir, ignore_errors=True)
    print("e2e save: all checks passed")


if __name__ == "__main__":
    run(main)
