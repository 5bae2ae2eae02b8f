#!/usr/bin/env python3
"""Copies a widl type library and corrects its library identifier.

widl (7.0 and 8.0) writes a wrong last byte into the library's GUID when a
coclass lists both a dual interface and a source dispinterface. The GUID is
stored once, in the GUID table; every other byte of it is right, so the
entry is found by its first 15 bytes and rewritten whole.

usage: PatchTypeLib.py <in.tlb> <out.tlb> <library guid>
"""
import sys
import uuid


def main(source, target, libid):
    data = bytearray(open(source, 'rb').read())
    if data[:4] != b'MSFT':
        sys.exit(f'{source}: not an MSFT type library')
    wanted = uuid.UUID(libid).bytes_le
    first = data.find(wanted[:15])
    if first < 0 or data.find(wanted[:15], first + 1) >= 0:
        sys.exit(f'{source}: library GUID {libid} not found exactly once')
    data[first:first + 16] = wanted
    open(target, 'wb').write(bytes(data))


if __name__ == '__main__':
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
