#!/usr/bin/python3
# Makes a package built by wixl reproducible: wixl writes a random package
# code and the current time into the summary information.
#   scripts/msi-fix-summary.py PACKAGE EPOCH
# Sets the created and saved times to EPOCH (seconds since 1970, UTC) and the
# package code to a name-based identifier of the package's content with a
# fixed code in its place, so that the code changes whenever the content does.
# Also sets ARPSIZE, the size "Apps and Features" shows, from the sizes of the
# files the package installs (in KiB, rounded up).
# Needs the libmsi bindings (gir1.2-libmsi-1.0, python3-gi).
import hashlib
import sys
import uuid

import gi

gi.require_version("Libmsi", "1.0")
from gi.repository import Libmsi  # noqa: E402

# Any fixed identifier: the namespace of the package codes, and the code the
# content is hashed with.
NAMESPACE = uuid.UUID("5B1C4E7A-2D3F-4A86-9E0B-7C6D1F2A3B48")


# Summary times are counted in 100 ns from 1601-01-01 (UTC).
FILETIME_1970 = 11644473600 * 10**7


def rewrite(path, epoch, package_code):
    database = Libmsi.Database.new(path, Libmsi.DbFlags.TRANSACT, None)
    summary = Libmsi.SummaryInfo.new(database, 20)
    filetime = FILETIME_1970 + epoch * 10**7
    summary.set_filetime(Libmsi.Property.CREATED_TM, filetime)
    summary.set_filetime(Libmsi.Property.LASTSAVED_TM, filetime)
    summary.set_string(Libmsi.Property.UUID, "{%s}" % str(package_code).upper())
    summary.persist()
    database.commit()


def set_arp_size(path):
    database = Libmsi.Database.new(path, Libmsi.DbFlags.TRANSACT, None)
    files = Libmsi.Query.new(database, "SELECT `FileSize` FROM `File`")
    files.execute(None)
    size = 0
    while True:
        try:
            record = files.fetch()
        except gi.repository.GLib.Error:
            break
        if record is None:
            break
        size += record.get_int(1)
    files.close()
    insert = Libmsi.Query.new(
        database,
        "INSERT INTO `Property` (`Property`, `Value`) VALUES ('ARPSIZE', '%d')"
        % ((size + 1023) // 1024),
    )
    insert.execute(None)
    insert.close()
    database.commit()


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: msi-fix-summary.py PACKAGE EPOCH")
    path, epoch = sys.argv[1], int(sys.argv[2])
    set_arp_size(path)
    rewrite(path, epoch, NAMESPACE)
    with open(path, "rb") as package:
        digest = hashlib.sha256(package.read()).hexdigest()
    rewrite(path, epoch, uuid.uuid5(NAMESPACE, digest))


main()
