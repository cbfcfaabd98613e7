#!/usr/bin/env python3
"""Writes the editor's dialog template (an extended DLGTEMPLATEEX) as bytes.

The resource compiler upper-cases class names given as text ("SYSLISTVIEW32"),
so the template is laid out here instead, byte for byte: predefined classes
by ordinal, the list view and rich edit classes by name in their own case.
Usage: make_editor_dialog.py OUTPUT
"""
import struct
import sys

STATIC, EDIT, COMBOBOX, BUTTON = 0x82, 0x81, 0x85, 0x80

# id, class (ordinal or name), text, style, x, y, width, height
CONTROLS = [
    (101, "SysListView32", "", 0x50810005, 2, 2, 420, 116),
    (-1, STATIC, "Имя", 0x50000002, 2, 125, 40, 9),
    (102, "RichEdit20W", "", 0x50890080, 46, 122, 290, 14),
    (-1, STATIC, "IP адрес", 0x50000002, 2, 139, 40, 9),
    (103, EDIT, "", 0x50810000, 45, 138, 116, 12),
    (-1, STATIC, "Тип поиска", 0x50000002, 163, 141, 40, 9),
    (104, COMBOBOX, "", 0x50010203, 206, 138, 130, 100),
    (-1, STATIC, "Статус", 0x50000002, 7, 172, 34, 9),
    (105, COMBOBOX, "", 0x50210A03, 45, 170, 116, 50),
    (-1, STATIC, "Звук", 0x58000002, 7, 188, 34, 9),
    (106, COMBOBOX, "", 0x58210A03, 45, 186, 116, 50),
    (203, BUTTON, "Цвет ника", 0x50010300, 166, 170, 64, 14),
    (204, "RichEdit20A", "NICKNAME", 0x50800801, 232, 170, 104, 14),
    (205, BUTTON, "Цвет реплик", 0x50010300, 165, 186, 64, 14),
    (206, "RichEdit20A", "MESSAGE", 0x50800801, 232, 186, 104, 14),
    (301, BUTTON, "Добавить", 0x50010300, 342, 122, 80, 14),
    (302, BUTTON, "Изменить", 0x58010300, 342, 137, 80, 14),
    (303, BUTTON, "Удалить", 0x58010300, 342, 152, 80, 14),
    (304, BUTTON, "Переместить вверх", 0x58010300, 342, 170, 80, 14),
    (305, BUTTON, "Переместить вниз", 0x58010300, 342, 186, 80, 14),
]

# WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_CENTER
# | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK
DIALOG_STYLE = 0x90CA08C4
DIALOG_EX_STYLE = 0x00000001  # WS_EX_DLGMODALFRAME


def text(value):
    return value.encode("utf-16-le") + b"\0\0"


def class_field(value):
    return struct.pack("<HH", 0xFFFF, value) if isinstance(value, int) else text(value)


def align(data):
    return data + b"\0" * (-len(data) % 4)


def template():
    out = struct.pack("<HHIIIHhhhh", 1, 0xFFFF, 0, DIALOG_EX_STYLE, DIALOG_STYLE,
                      len(CONTROLS), 0, 0, 424, 202)
    out += b"\0\0" + b"\0\0" + text("Torvo")             # no menu, default class
    out += struct.pack("<HHBB", 8, 0, 0, 1) + text("MS Sans Serif")
    for ident, cls, caption, style, x, y, cx, cy in CONTROLS:
        out = align(out)
        out += struct.pack("<IIIhhhhi", 0, 0, style, x, y, cx, cy, ident)
        out += class_field(cls) + text(caption) + struct.pack("<H", 0)
    return out


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as output:
        output.write(template())
