#!/usr/bin/python3
"""Writes the spreadsheet fixtures into the folder given as argument.

LibreOffice (headless) turns a flat ODS with number formats into lo.ods and
lox.xlsx; openpyxl writes py.xlsx as a second, independent writer. LibreOffice
then exports every sheet of each file as CSV "as shown" (UTF-8, ";", German
locale): csv/<file>-<sheet>.csv is what a person sees in the spreadsheet.
Beside them, workbooks that must be refused (encrypted, cut off, no sheet).
Run once per test run (a CTest fixture), not per case.
"""
import datetime
import os
import pathlib
import shutil
import subprocess
import sys
import zipfile

import openpyxl

OUT = pathlib.Path(sys.argv[1])

# A German LibreOffice: number formats without a language of their own show
# ",", "." and German month names, as a member list in Calc does.
REGISTRY = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry"
 xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>de-DE</value></prop></item>
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooLocale" oor:op="fuse"><value>de-DE</value></prop></item>
</oor:items>
"""

NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
      'xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" '
      'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
      'xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"')

DE = 'number:language="de" number:country="DE"'
STYLES = f"""
<number:currency-style style:name="Neur" {DE}>
 <number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/>
 <number:text> </number:text><number:currency-symbol {DE}>€</number:currency-symbol></number:currency-style>
<number:date-style style:name="Ndate" {DE}>
 <number:day number:style="long"/><number:text>.</number:text><number:month number:style="long"/>
 <number:text>.</number:text><number:year number:style="long"/></number:date-style>
<number:date-style style:name="Nlong" {DE}>
 <number:day/><number:text>. </number:text><number:month number:textual="true" number:style="long"/>
 <number:text> </number:text><number:year number:style="long"/></number:date-style>
<number:time-style style:name="Ntime" {DE}>
 <number:hours number:style="long"/><number:text>:</number:text><number:minutes number:style="long"/></number:time-style>
<number:percentage-style style:name="Npct" {DE}>
 <number:number number:decimal-places="1" number:min-decimal-places="1" number:min-integer-digits="1"/>
 <number:text>%</number:text></number:percentage-style>
<number:number-style style:name="Nplz" {DE}><number:number number:decimal-places="0" number:min-integer-digits="5"/></number:number-style>
<number:number-style style:name="Ntsd" {DE}>
 <number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/></number:number-style>
<style:style style:name="Teur" style:family="table-cell" style:data-style-name="Neur"/>
<style:style style:name="Tdate" style:family="table-cell" style:data-style-name="Ndate"/>
<style:style style:name="Tlong" style:family="table-cell" style:data-style-name="Nlong"/>
<style:style style:name="Ttime" style:family="table-cell" style:data-style-name="Ntime"/>
<style:style style:name="Tpct" style:family="table-cell" style:data-style-name="Npct"/>
<style:style style:name="Tplz" style:family="table-cell" style:data-style-name="Nplz"/>
<style:style style:name="Ttsd" style:family="table-cell" style:data-style-name="Ntsd"/>
<style:style style:name="Bold" style:family="text"><style:text-properties fo:font-weight="bold"/></style:style>
"""


def text(value):
    return f'<table:table-cell office:value-type="string"><text:p>{value}</text:p></table:table-cell>'


def number(style, kind, value, formula=None, extra=""):
    f = f' table:formula="{formula}"' if formula else ""
    s = f' table:style-name="{style}"' if style else ""
    return f'<table:table-cell{s}{f} office:value-type="{kind}" {extra}office:value="{value}"/>'


def date(style, iso, serial):
    return (f'<table:table-cell table:style-name="{style}" office:value-type="date" '
            f'office:date-value="{iso}"/>')


def time(style, duration):
    return f'<table:table-cell table:style-name="{style}" office:value-type="time" office:time-value="{duration}"/>'


EMPTY = '<table:table-cell/>'
TITLES = ["Anrede", "Titel", "Vorname", "Name", "E-Mail", "Abteilung", "Beitrag", "Eintritt",
          "Lang", "Zeit", "Quote", "PLZ", "Nummer", "Doppelt", "Notiz", "Zahl"]


def member_rows():
    eur = 'office:currency="EUR" '
    return [
        [text(t) for t in TITLES],
        [text("Frau"), text("Dr."), text("Anna"), text("Strauß"), text("anna@example.org"),
         text("Vorstand"), number("Teur", "currency", "12.5", extra=eur),
         date("Tdate", "2024-03-01", 0), date("Tlong", "2024-03-01", 0), time("Ttime", "PT14H05M00S"),
         number("Tpct", "percentage", "0.125"), number("Tplz", "float", "1067"), text("007"),
         number("Teur", "currency", "25", "of:=[.G2]*2", eur),
         '<table:table-cell office:value-type="string"><text:p>fett <text:span text:style-name="Bold">und'
         '</text:span> normal</text:p></table:table-cell>', number(None, "float", "3.25")],
        [text("Herr"), text("Prof. Dr."), text("Jörg"), text("Weber"), text("joerg@example.org"),
         text("Jugend"), number("Teur", "currency", "-1234.5", extra=eur),
         date("Tdate", "1999-12-31", 0), date("Tlong", "2025-10-09", 0), time("Ttime", "PT08H30M00S"),
         number("Tpct", "percentage", "1"), number("Tplz", "float", "80331"), text("0815"),
         number("Teur", "currency", "-2469", "of:=[.G3]*2", eur),
         '<table:table-cell office:value-type="string"><text:p>erste Zeile</text:p><text:p>zweite Zeile'
         '</text:p></table:table-cell>', number("Ttsd", "float", "1234567.891")],
        [EMPTY] * len(TITLES),
        [text("divers"), EMPTY, text("Kim"), text("Weiß"), text("kim@example.org"), text("Jugend"),
         number("Teur", "currency", "0", extra=eur), date("Tdate", "2026-12-08", 0),
         date("Tlong", "2026-05-01", 0), time("Ttime", "PT0H0M0S"), number("Tpct", "percentage", "0.005"),
         number("Tplz", "float", "0"), text("ä \"zitiert\"; mit Semikolon"),
         text("Text statt Zahl"), EMPTY, number(None, "float", "42")],
    ]


def guest_rows():
    return [[text("Name"), text("E-Mail")], [text("Gast Eins"), text("gast1@example.org")],
            [text("Gäste-Zwei"), text("gast2@example.org")]]


def table(name, rows):
    body = "".join("<table:table-row>" + "".join(r) + "</table:table-row>" for r in rows)
    return f'<table:table table:name="{name}">{body}</table:table>'


def write_fods(path):
    path.write_text(f"""<?xml version="1.0" encoding="UTF-8"?>
<office:document {NS} office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>{STYLES}</office:automatic-styles>
<office:body><office:spreadsheet>{table("Mitglieder", member_rows())}{table("Gäste", guest_rows())}
</office:spreadsheet></office:body></office:document>
""", encoding="utf-8")


def write_openpyxl(path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Liste"
    sheet.append(["Anrede", "Vorname", "Name", "E-Mail", "Beitrag", "Eintritt", "Uhrzeit", "Quote",
                  "PLZ", "Kennung", "Wert"])
    formats = [None, None, None, None, '#,##0.00 "€"', "DD.MM.YYYY", "HH:MM:SS", "0.00%", "00000", "@",
               "#,##0.000"]
    rows = [["Frau", "Jürgen", "Müller", "j.mueller@example.org", 1234.5, datetime.date(2023, 1, 31),
             datetime.time(7, 5, 9), 0.0625, 4109, "0042", 0.5],
            [],
            ["Herr", "Ölaf", "Øster", "oe@example.org", -3, datetime.datetime(2000, 2, 29, 12, 0),
             datetime.time(23, 59, 59), 1.5, 99, "x", 98765.4321]]
    for values in rows:
        sheet.append(values)
    for row in sheet.iter_rows(min_row=2):
        for cell, fmt in zip(row, formats):
            if fmt:
                cell.number_format = fmt
    other = book.create_sheet("Zweites Blatt")
    other.append(["Name", "Mail"])
    other.append(["Zweite", "zweite@example.org"])
    book.save(path)


def soffice(profile, *args):
    subprocess.run(["soffice", f"-env:UserInstallation={profile.as_uri()}", "--headless", "--norestore",
                    *args], check=True, stdout=subprocess.DEVNULL, timeout=300)


def write_broken(ods):
    """Workbooks the reader must refuse, made from the good one."""
    with zipfile.ZipFile(ods) as source, zipfile.ZipFile(OUT / "verschluesselt.ods", "w") as target:
        for item in source.infolist():
            data = source.read(item.filename)
            if item.filename == "META-INF/manifest.xml":
                # What LibreOffice writes for a part saved with a password.
                data = data.replace(b'manifest:full-path="content.xml" manifest:media-type="text/xml"/>',
                                    b'manifest:full-path="content.xml" manifest:media-type="text/xml">'
                                    b'<manifest:encryption-data manifest:checksum-type="SHA1/1K" '
                                    b'manifest:checksum="AAAA"></manifest:encryption-data>'
                                    b'</manifest:file-entry>', 1)
                assert b"encryption-data" in data
            target.writestr(item, data)
    with zipfile.ZipFile(OUT / "text.docx", "w") as target:
        target.writestr("word/document.xml", "<document/>")
    data = ods.read_bytes()
    (OUT / "abgeschnitten.ods").write_bytes(data[: len(data) // 2])
    # Filled rows repeated far beyond what a sheet holds: refused, not copied out.
    row = ('<table:table-row table:number-rows-repeated="1048576"><table:table-cell office:value-type="string">'
           '<text:p>x@example.org</text:p></table:table-cell></table:table-row>')
    content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content '
               'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
               'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
               'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"><office:body><office:spreadsheet>'
               '<table:table table:name="Riesig">' + row * 64 + '</table:table></office:spreadsheet></office:body>'
               '</office:document-content>')
    with zipfile.ZipFile(ods) as source, zipfile.ZipFile(OUT / "riesig.ods", "w", zipfile.ZIP_DEFLATED) as target:
        for item in source.infolist():
            target.writestr(item.filename, content if item.filename == "content.xml" else source.read(item.filename))
    # A password-protected .xlsx (and an old .xls) is an OLE compound file.
    (OUT / "kennwort.xlsx").write_bytes(b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes(504))


def main():
    if OUT.exists():
        shutil.rmtree(OUT)
    profile = OUT / "profile"
    (profile / "user").mkdir(parents=True)
    (profile / "user" / "registrymodifications.xcu").write_text(REGISTRY, encoding="utf-8")
    # Three starts of LibreOffice in all: ods, xlsx, then every CSV.
    write_fods(OUT / "lo.fods")
    shutil.copy(OUT / "lo.fods", OUT / "lox.fods")
    write_openpyxl(OUT / "py.xlsx")
    soffice(profile, "--convert-to", "ods", "--outdir", str(OUT), str(OUT / "lo.fods"))
    soffice(profile, "--convert-to", "xlsx:Calc MS Excel 2007 XML", "--outdir", str(OUT), str(OUT / "lox.fods"))
    # 59 ";", 34 '"', 76 UTF-8, line 1; then "as shown" on and every sheet (-1).
    options = "csv:Text - txt - csv (StarCalc):59,34,76,1,,1031,false,true,true,false,false,-1"
    soffice(profile, "--convert-to", options, "--outdir", str(OUT / "csv"),
            *(str(OUT / name) for name in ("lo.ods", "lox.xlsx", "py.xlsx")))
    shutil.rmtree(profile)
    os.remove(OUT / "lo.fods")
    os.remove(OUT / "lox.fods")
    write_broken(OUT / "lo.ods")


main()
