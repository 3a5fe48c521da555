#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are the manifest forms that matter (line ends, lengths at the
127-character read limit, directives, counts with signs and junk) and path
texts at the edges of the 259-character limit. Run it again after changing it;
the files are committed so a fuzz run needs no Python.

Marker characters in a file name (see fuzz/fuzz_support.h): '~' missing,
'#' unreadable, '$' a file of 5 GiB, '$$' one of 2^63 bytes.
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))


def manifest_seeds():
    s = {}
    two = ["2", "app.exe Application", "notes.txt Release Notes", ".readme notes.txt", ".directx"]
    s["crlf"] = "\r\n".join(two) + "\r\n"
    s["lf"] = "\n".join(two) + "\n"
    s["no-final-line-end"] = "\r\n".join(two)
    s["count-zero"] = "0\r\n"
    s["empty"] = ""
    s["count-only-no-line-end"] = "1"
    s["count-plus"] = "+1\r\na.txt A\r\n"
    s["count-minus"] = "-1\r\na.txt A\r\n"
    s["count-junk"] = "3abc\r\na A\r\nb B\r\nc C\r\n"
    s["count-no-number"] = "abc\r\n.readme x.txt\r\n.directx\r\n"
    s["count-white-space"] = " \t\v\f2\r\na A\r\nb B\r\n"
    s["count-sign-only"] = "-\r\n.directx\r\n"
    s["count-int-max"] = "2147483647\r\na A\r\n"
    s["count-int-min"] = "-2147483648\r\n"
    s["count-overflow"] = "99999999999999999999\r\na A\r\n"
    s["count-large-table"] = "262144\r\na A\r\n"
    s["count-table-too-big"] = "8388608\r\na A\r\n"
    s["count-above-lines"] = "5\r\na A\r\nb B\r\n"
    s["line-127-lf"] = "1\n" + "n" * 126 + "\n" + "x\n"
    s["line-126-crlf"] = "1\r\n" + "n" * 126 + "\r\nx\r\n"
    s["line-127-chars-exactly"] = "2\n" + "a" * 127 + "\nb B\n"
    s["line-200"] = "2\r\n" + "f" * 200 + "\r\n"
    s["line-200-with-space"] = "2\r\n" + "f" * 100 + " " + "s" * 99 + "\r\n"
    s["two-spaces"] = "1\r\nfile.txt  Leading Space\r\n"
    s["leading-spaces"] = "1\r\n   file.txt Short Cut\r\n"
    s["tab-in-name"] = "1\r\nfile\tname.txt\r\n"
    s["blank-entry"] = "2\r\na.txt A\r\n\r\n"
    s["spaces-only-entry"] = "1\r\n    \r\n"
    s["no-shortcut"] = "1\r\nlonely.dat\r\n"
    s["directive-among-entries"] = "2\r\n.readme x\r\n.directx y\r\n.readme r.txt\r\n"
    s["directives-case-and-space"] = "0\r\n.readme\r\n.README r.txt\r\n.DirectX\r\n.directxyz\r\n"
    s["two-readmes"] = "0\r\n.readme first.txt\r\n.readme second.txt\r\n.readme \r\n"
    s["cr-inside-line"] = "1\r\nname.txt Short\rcut dropped\r\n"
    s["nul-inside-line"] = "1\r\nna\0me.txt Cut\r\n"
    s["missing-file"] = "2\r\nthere.txt T\r\ngone~.txt G\r\n"
    s["unreadable-file"] = "1\r\nlocked#.dat L\r\n"
    s["over-4gib"] = "2\r\nbig$.cab Big\r\nsmall.txt S\r\n"
    s["sum-saturates"] = "2\r\nhuge$$.a A\r\nhuger$$.b B\r\n"
    s["relative-names"] = "3\r\n.\\x.txt X\r\nsub\\y.txt Y\r\n..\\z.txt Z\r\n"
    s["case-folded-duplicates"] = "2\r\nFile.TXT A\r\nfile.txt B\r\n"
    s["many"] = "40\r\n" + "".join("f%02d.txt Shortcut %d\r\n" % (i, i) for i in range(40)) + ".readme f00.txt\r\n"
    s["high-bytes"] = "1\r\n\xe9t\xe9.txt \xc4rger\r\n"
    return s


def paths_seeds():
    # line 0 options, line 1 installDir, line 2 programFolder, then entries.
    programs = "C:\\Users\\user\\Start Menu\\Programs"
    entries = "app.exe Application\nnotes.txt Release Notes"
    s = {}
    s["default"] = "\nC:\\Program Files\\Brackenvue\n%s\\Brackenvue\n%s" % (programs, entries)
    s["doubled-trailing"] = "\nC:\\A\\\\B\\\n%s\\\\Games\\\\Bv\\\nf.txt F" % programs
    s["unc"] = "\n\\\\Srv\\Share\\Dir\n\\\\Srv\\Share\\Links\nf.txt F"
    s["rooted-relative"] = "\n\\Apps\\Bv\nrel\\links\nf.txt F"
    s["drive-only"] = "\nC:\nC:\\\nf.txt F"
    s["forward-slashes"] = "\nC:/A/B\nC:/Links\nf.txt F"
    s["drive-in-middle"] = "\nA\\X:Y\\B\n%s\\X:Y\nf.txt F" % programs
    s["missing-drive"] = "\nQ:\\Brackenvue\nQ:\\Links\nf.txt F"
    s["second-drive"] = "D\nD:\\Games\\Bv\n%s\\Bv\nf.txt F" % programs
    s["file-in-the-way"] = "x\nC:\\X\\Brackenvue\n%s\\Bv\nf.txt F" % programs
    s["folder-through-file"] = "x\nC:\\Bv\nC:\\X\\Links\nf.txt F"
    s["folder-fails"] = "m1\nC:\\Deep\\Bv\n%s\\New\nf.txt F" % programs
    s["dir-exists"] = "E\nC:\\Program Files\\Brackenvue\n%s\\Bv\n%s" % (programs, entries)
    s["no-space"] = "f3\nC:\\Bv\n%s\\Bv\nf.txt F" % programs
    s["no-free-figure"] = "n\nC:\\Bv\n%s\\Bv\nf.txt F" % programs
    s["partial-copy"] = "p1\nC:\\Bv\n%s\\Bv\na.txt A\nb.txt B\nc.txt C" % programs
    s["failed-copy"] = "c0\nC:\\Bv\n%s\\Bv\na.txt A\nb.txt B" % programs
    s["failed-link"] = "l1\nC:\\Bv\n%s\\Bv\na.txt A\nb.txt B\nc.txt C" % programs
    s["big-file"] = "\nC:\\Bv\n%s\\Bv\nbig$.cab B" % programs
    dir259 = "C:\\" + "d" * 256
    s["dir-259"] = "\n%s\n%s\\Bv\nf.txt F" % (dir259, programs)
    dir247 = "C:\\" + "d" * 244
    s["dir-247"] = "\n%s\n%s\\Bv\nf.txt F" % (dir247, programs)
    s["dir-over-259"] = "\nC:\\" + "d" * 300 + "\n%s\\Bv\nf.txt F" % programs
    s["destination-260"] = "\nC:\\" + "d" * 250 + "\n%s\\Bv\nabcde.txt F" % programs
    folder = programs + "\\" + "p" * (255 - len(programs))
    s["folder-near-260"] = "\nC:\\Bv\n%s\nf.txt S" % folder
    s["name-127"] = "\nC:\\Bv\n%s\\Bv\n%s" % (programs, "n" * 127)
    s["shortcut-long"] = "\nC:\\Bv\n%s\\Bv\nf.txt %s" % (programs, "s" * 120)
    s["dot-dot-in-dir"] = "\nC:\\A\\..\\B\\.\\C\n%s\\..\\Bv\nf.txt F" % programs
    s["dot-dot-in-names"] = "\nC:\\Bv\n%s\\Bv\n..\\WINDOWS\\notepad.exe ..\\..\\Startup\\Evil" % programs
    s["subdir-name"] = "\nC:\\Bv\n%s\\Bv\nsub\\f.txt Sub\\F" % programs
    s["empty-paths"] = "\n\n\nf.txt F"
    s["backslashes-only"] = "\n\\\\\\\n\\\nf.txt F"
    s["relative-dir"] = "\nInstalled\\Here\nLinks\nf.txt F"
    s["medium-itself"] = "\n.\n%s\\Bv\nf.txt F" % programs
    s["bad-characters"] = "\nC:\\B<v>|\n%s\\B?v*\nf.txt F" % programs
    return s


def write(target, seeds):
    d = os.path.join(HERE, "corpus", target)
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    for name, text in seeds.items():
        with open(os.path.join(d, name), "wb") as f:
            f.write(text.encode("latin-1"))


if __name__ == "__main__":
    write("manifest", manifest_seeds())
    write("paths", paths_seeds())
