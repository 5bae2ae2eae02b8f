#!/usr/bin/env python3
"""Copies a widl type library, repairs two faults widl puts in it and adds
the help strings of enumeration constants, which widl does not accept.

widl (7.0 and 8.0) gives a second reference to an imported interface (here
IDispatch from stdole2.tlb, which both the dual interface and the event
dispinterface derive from) no GUID: its import entry points at GUID offset
-1. The reference then names a wrong type, and widl also writes that
reference's type handle at offset -1 + 16 of the GUID table, over the last
byte of the library's own GUID, which comes first.

The repair points every such import entry at the GUID table entry of the
interface it imports (IDispatch) and restores the library GUID.

Each --constant-help NAME TEXT gives enumeration constant NAME the help
string TEXT: the text goes to the end of the string table, and the
constant's record gains the optional help context and help string fields.

usage: PatchTypeLib.py <in.tlb> <out.tlb> <library guid> [--constant-help NAME TEXT]...
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
    position = segment_directory_position(data)
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


TYPEINFO_TABLE_ENTRY_SIZE = 100
TKIND_ENUM = 0
VAR_RECORD_PLAIN_SIZE = 0x14     # Info, DataType, Flags, VarKind, OffsValue
VAR_RECORD_WITH_HELP_SIZE = 0x1c  # ... HelpContext, HelpString


def segment_directory_position(data):
    typeinfo_count = struct.unpack_from('<i', data, 0x20)[0]
    varflags = struct.unpack_from('<i', data, 0x14)[0]
    return 0x54 + (4 if varflags & 0x100 else 0) + 4 * typeinfo_count


def typeinfo_entries(data, segments):
    """File positions of the typeinfo table entries."""
    table = segments['typeinfo'][0]
    count = struct.unpack_from('<i', data, 0x20)[0]
    return [table + struct.unpack_from('<i', data, 0x54 + 4 * i)[0] for i in range(count)]


def name_at(data, segments, offset):
    position = segments['name'][0] + offset
    length = struct.unpack_from('<i', data, position + 8)[0] & 0xff
    return bytes(data[position + 12:position + 12 + length]).decode('latin-1')


def encoded_string(text):
    raw = text.encode('cp1252')
    encoded = struct.pack('<h', len(raw)) + raw
    return encoded + b'W' * (-len(encoded) % 4)


def shift_file_offsets(data, at, by):
    """Moves every segment and typeinfo data block that starts at or after
    file position at by the given number of bytes."""
    directory = segment_directory_position(data)
    for i in range(len(SEGMENTS)):
        offset = struct.unpack_from('<i', data, directory + 16 * i)[0]
        if offset >= at:
            struct.pack_into('<i', data, directory + 16 * i, offset + by)
    for entry in typeinfo_entries(data, segment_directory(data)):
        memoffset = struct.unpack_from('<i', data, entry + 4)[0]
        if memoffset >= at:
            struct.pack_into('<i', data, entry + 4, memoffset + by)


def append_strings(data, texts):
    """Appends the texts to the string table; returns their offsets in it."""
    segments = segment_directory(data)
    start, length = segments['string']
    offsets, added = [], b''
    for text in texts:
        offsets.append(length + len(added))
        added += encoded_string(text)
    end = start + length
    data[end:end] = added
    shift_file_offsets(data, end, len(added))
    directory = segment_directory_position(data)
    struct.pack_into('<i', data, directory + 16 * SEGMENTS.index('string') + 4, length + len(added))
    return offsets


def add_constant_help(data, helps, failures):
    segments = segment_directory(data)
    pending = dict(helps)
    for entry in typeinfo_entries(data, segments):
        if struct.unpack_from('<i', data, entry)[0] & 0xf != TKIND_ENUM:
            continue
        block = struct.unpack_from('<i', data, entry + 4)[0]
        elements = struct.unpack_from('<i', data, entry + 24)[0]
        count = (elements >> 16) + (elements & 0xffff)
        infolen = struct.unpack_from('<i', data, block)[0]
        tail = block + 4 + infolen  # member ids, name offsets, record offsets
        names = [name_at(data, segments, struct.unpack_from('<i', data, tail + 4 * (count + i))[0])
                 for i in range(count)]
        wanted = [name for name in names if name in pending]
        if not wanted:
            continue
        string_offsets = dict(zip(wanted, append_strings(data, [pending[name] for name in wanted])))
        block = struct.unpack_from('<i', data, entry + 4)[0]
        records, record_offsets, position = b'', [], block + 4
        for name in names:
            size = struct.unpack_from('<i', data, position)[0] & 0xff
            record = bytearray(data[position:position + size])
            position += size
            if name in string_offsets:
                if size != VAR_RECORD_PLAIN_SIZE:
                    failures.append(f'constant {name} has a record of {size} bytes')
                    return
                record[0] = VAR_RECORD_WITH_HELP_SIZE
                record += struct.pack('<ii', 0, string_offsets[name])
                del pending[name]
            record_offsets.append(len(records))
            records += bytes(record)
        tail = block + 4 + infolen
        ids_and_names = bytes(data[tail:tail + 8 * count])
        new_block = struct.pack('<i', len(records)) + records + ids_and_names + struct.pack(
            f'<{count}i', *record_offsets)
        old_size = 4 + infolen + 12 * count
        data[block:block + old_size] = new_block
        shift_file_offsets(data, block + 1, len(new_block) - old_size)
    if pending:
        failures.append('no enumeration constant named ' + ', '.join(sorted(pending)))


def main(source, target, libid, helps):
    data = bytearray(open(source, 'rb').read())
    if data[:4] != b'MSFT':
        sys.exit(f'{source}: not an MSFT type library')
    segments = segment_directory(data)
    failures = []
    repair_imports(data, segments, failures)
    repair_library_guid(data, segments, libid, failures)
    if not failures:
        add_constant_help(data, helps, failures)
    if failures:
        sys.exit(f'{source}: ' + '; '.join(failures))
    open(target, 'wb').write(bytes(data))


def parse_arguments(arguments):
    if len(arguments) < 3 or (len(arguments) - 3) % 3:
        sys.exit(__doc__)
    helps = {}
    for i in range(3, len(arguments), 3):
        if arguments[i] != '--constant-help':
            sys.exit(__doc__)
        helps[arguments[i + 1]] = arguments[i + 2]
    return arguments[0], arguments[1], arguments[2], helps


if __name__ == '__main__':
    main(*parse_arguments(sys.argv[1:]))
