#!/usr/bin/env python3
"""Copies a widl type library and repairs two faults widl puts in it.

widl (7.0 and 8.0) gives a second reference to an imported interface (here
IDispatch from stdole2.tlb, which both the dual interface and the event
dispinterface derive from) no GUID: its import entry points at GUID offset
-1. The reference then names a wrong type, and widl also writes that
reference's type handle at offset -1 + 16 of the GUID table, over the last
byte of the library's own GUID, which comes first.

The repair points every such import entry at the GUID table entry of the
interface it imports (IDispatch) and restores the library GUID.

usage: PatchTypeLib.py <in.tlb> <out.tlb> <library guid>
"""
import struct
import sys
import uuid

IMPINFO_OFFSET_IS_GUID = 0x00010000
IID_IDISPATCH = uuid.UUID('00020400-0000-0000-C000-000000000046')
SEGMENTS = ['typeinfo', 'impinfo', 'impfiles', 'reftab', 'guidhash', 'guid', 'namehash', 'name', 'string',
            'typdesc', 'arraydesc', 'custdata', 'cdguids', 'res0e', 'res0f']
GUID_ENTRY_SIZE = 24


def segment_directory(data):
    typeinfo_count = struct.unpack_from('<i', data, 0x20)[0]
    varflags = struct.unpack_from('<i', data, 0x14)[0]
    position = 0x54 + (4 if varflags & 0x100 else 0) + 4 * typeinfo_count
    return {name: struct.unpack_from('<ii', data, position + 16 * i) for i, name in enumerate(SEGMENTS)}


def guid_offsets(data, segments):
    offset, length = segments['guid']
    return {uuid.UUID(bytes_le=bytes(data[offset + i:offset + i + 16])): i
            for i in range(0, length, GUID_ENTRY_SIZE)}


def repair_imports(data, segments, failures):
    offset, length = segments['impinfo']
    broken = [offset + i for i in range(0, length, 12)
              if struct.unpack_from('<i', data, offset + i)[0] & IMPINFO_OFFSET_IS_GUID
              and struct.unpack_from('<i', data, offset + i + 8)[0] == -1]
    if not broken:
        return
    dispatch = guid_offsets(data, segments).get(IID_IDISPATCH)
    if dispatch is None:
        failures.append('an import entry without GUID, and no IDispatch GUID to give it')
        return
    for entry in broken:
        struct.pack_into('<i', data, entry + 8, dispatch)


def repair_library_guid(data, segments, libid, failures):
    wanted = uuid.UUID(libid).bytes_le
    offset = segments['guid'][0]
    if bytes(data[offset:offset + 15]) != wanted[:15]:
        failures.append(f'the first GUID of the table is not the library GUID {libid}')
        return
    data[offset:offset + 16] = wanted


def main(source, target, libid):
    data = bytearray(open(source, 'rb').read())
    if data[:4] != b'MSFT':
        sys.exit(f'{source}: not an MSFT type library')
    segments = segment_directory(data)
    failures = []
    repair_imports(data, segments, failures)
    repair_library_guid(data, segments, libid, failures)
    if failures:
        sys.exit(f'{source}: ' + '; '.join(failures))
    open(target, 'wb').write(bytes(data))


if __name__ == '__main__':
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
