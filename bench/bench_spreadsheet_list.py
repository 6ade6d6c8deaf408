#!/usr/bin/python3
"""Writes the workbooks for bench_spreadsheet_list: ROWS member rows as .xlsx
(openpyxl) and .ods (LibreOffice, converted from the .xlsx), and the same rows
as CSV, into FOLDER.

    bench_spreadsheet_list.py FOLDER [ROWS]
"""
import datetime
import pathlib
import subprocess
import sys

import openpyxl

folder = pathlib.Path(sys.argv[1])
rows = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
folder.mkdir(parents=True, exist_ok=True)
book = openpyxl.Workbook()
sheet = book.active
titles = ["Anrede", "Titel", "Vorname", "Name", "E-Mail", "Abteilung", "Beitrag", "Eintritt"]
sheet.append(titles)
csv = [";".join(titles)]
for i in range(rows):
    values = ["Frau" if i % 2 else "Herr", "Dr." if i % 7 == 0 else "", "Jürgen", f"Müller {i}",
              f"mitglied{i}@example.org", "Jugend", 12.5 + i % 10, datetime.date(2000 + i % 20, 1 + i % 12, 1)]
    sheet.append(values)
    csv.append(";".join([*map(str, values[:6]), f"{values[6]:.2f} €".replace(".", ","),
                         values[7].strftime("%d.%m.%Y")]))
for row in sheet.iter_rows(min_row=2):
    row[6].number_format = '#,##0.00 "€"'
    row[7].number_format = "DD.MM.YYYY"
book.save(folder / "mitglieder.xlsx")
(folder / "mitglieder.csv").write_text("\r\n".join(csv) + "\r\n", encoding="utf-8")
profile = (folder / "profile").as_uri()
subprocess.run(["soffice", f"-env:UserInstallation={profile}", "--headless", "--convert-to", "ods",
                "--outdir", str(folder), str(folder / "mitglieder.xlsx")], check=True,
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
