#!/usr/bin/env python3
"""Writes the WiX source of the Windows Installer package of one architecture.

The package writes the registration itself, as its own registry entries, so
that install, upgrade and uninstall are exact. Those entries are made here from
what self-registration reads: the DLL's registrar script (the class and ProgID
keys, %MODULE% being the installed DLL) and its type library (the keys that
RegisterTypeLib adds for the library and for each interface it registers).
wixl has no Class or TypeLib element, so all of them are RegistryValues.

usage: MakeWxs.py --arch x86|x64 --version V --upgrade-code GUID --rgs FILE --tlb FILE
                  --file ID=PATH... [--registry-only] OUT

The first --file is the server DLL. With --registry-only, OUT gets the keys and
values as lines "COMPONENT<tab>KEY\\NAME=VALUE" (NAME empty for a key's default
value), with the installation folder as INSTALLDIR\\: the tests compare them
with what the installed package wrote and what regsvr32 writes.

The registration is three components. What only this architecture's DLL uses
(its class, its type library path, a 64-bit package's own interface keys) goes
with the DLL's file. What the packages of both architectures write to the same
place on 64-bit Windows has the same component GUID in both, so that Windows
Installer keeps it until the last of them is removed:
  ProgIDs      the ProgID keys: one key for both registry views on Windows 7
               and later, written in the package's own view;
  TypeLibrary  the type library's own values and the 32-bit view's interface
               keys, a 32-bit component in both packages.
"""
import argparse
import os
import re
import sys
import uuid
from xml.sax.saxutils import quoteattr

# The type library reader of the build's repair step; no bytecode in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'server'))
from PatchTypeLib import name_at, segment_directory, typeinfo_entries  # noqa: E402

import struct  # noqa: E402

# Component GUIDs must stay the same from one version to the next and differ
# between architectures, but for the shared ones: they are derived from this namespace.
COMPONENT_NAMESPACE = uuid.UUID('5d0c3a8e-2f4b-4c1e-9a57-0b6f1e2d7c31')
# RegisterTypeLib marshals a pure dispinterface with the IDispatch marshaler
# and any other automation interface with the type library marshaler.
PROXY_STUB_DISPATCH = '{00020420-0000-0000-C000-000000000046}'
PROXY_STUB_AUTOMATION = '{00020424-0000-0000-C000-000000000046}'
TKIND_INTERFACE, TKIND_DISPATCH = 3, 4
TYPEFLAG_FDUAL, TYPEFLAG_FOLEAUTOMATION = 0x40, 0x100
# Set on every library loaded from a file, and written with the others.
LIBFLAG_FHASDISKIMAGE = 0x8
SYSKIND_WIN64 = 3
SYSKIND_NAMES = {0: 'win16', 1: 'win32', 2: 'mac', 3: 'win64'}
SERVER, PROGIDS, TYPE_LIBRARY = 'Server', 'ProgIDs', 'TypeLibrary'
SHARED_COMPONENTS = (PROGIDS, TYPE_LIBRARY)
WOW64_VIEW = 'Wow6432Node\\'


class RegistryScriptError(Exception):
    pass


def rgs_tokens(text):
    """Words, = and quoted strings ('' inside a string is one '). A brace
    standing alone is a word; one inside a word, as in a GUID, is part of it."""
    for match in re.finditer(r"'((?:[^']|'')*)'|(=)|([^\s=']+)|(\S)", text):
        quoted, equals, word, stray = match.groups()
        if stray:
            raise RegistryScriptError(f'unterminated string at {match.start()}')
        yield ('string', quoted.replace("''", "'")) if quoted is not None else ('word', equals or word)


class RegistryScript:
    """The keys and values a registrar script writes, as (key, name, value)
    with key paths below the root; NoRemove/ForceRemove only matter to
    unregistration, which the installer does by removing what it wrote."""

    def __init__(self, text, replacements):
        self.tokens = list(rgs_tokens(text))
        self.position = 0
        self.replacements = replacements
        self.values = []

    def parse(self):
        while self.position < len(self.tokens):
            root = self.next_word()
            if root != 'HKCR':
                raise RegistryScriptError(f'only HKCR is written by the package, not {root}')
            self.parse_block('')
        return self.values

    def next_token(self):
        if self.position >= len(self.tokens):
            raise RegistryScriptError('unexpected end of script')
        self.position += 1
        return self.tokens[self.position - 1]

    def next_word(self):
        kind, text = self.next_token()
        if kind != 'word':
            raise RegistryScriptError(f'word expected at {text!r}')
        return text

    def peek(self, word):
        return self.position < len(self.tokens) and self.tokens[self.position] == ('word', word)

    def expect(self, word):
        if self.next_word() != word:
            raise RegistryScriptError(f'{word} expected')

    def parse_block(self, parent):
        self.expect('{')
        while not self.peek('}'):
            self.parse_key(parent)
        self.expect('}')

    def parse_key(self, parent):
        name = self.next_word()
        if name in ('NoRemove', 'ForceRemove'):
            name = self.next_word()
        key = f'{parent}\\{name}' if parent else name
        if self.peek('='):
            self.position += 1
            self.values.append((key, '', self.parse_value()))
        if not self.peek('{'):
            return
        self.position += 1
        while not self.peek('}'):
            if self.peek('val'):
                self.position += 1
                value_name = self.next_word()
                self.expect('=')
                self.values.append((key, value_name, self.parse_value()))
            else:
                self.parse_key(key)
        self.expect('}')

    def parse_value(self):
        if self.next_word() != 's':
            raise RegistryScriptError('value type s expected')
        kind, text = self.next_token()
        if kind != 'string':
            raise RegistryScriptError(f'quoted string expected at {text!r}')
        return re.sub(r'%([^%]*)%', lambda m: self.replacement(m.group(1)), text)

    def replacement(self, name):
        if name == '':
            return '%'
        if name not in self.replacements:
            raise RegistryScriptError(f'unknown replacement %{name}%')
        return self.replacements[name]


def guid_at(data, segments, offset):
    position = segments['guid'][0] + offset
    return '{' + str(uuid.UUID(bytes_le=bytes(data[position:position + 16]))).upper() + '}'


def string_at(data, segments, offset):
    position = segments['string'][0] + offset
    length = struct.unpack_from('<h', data, position)[0]
    return bytes(data[position + 2:position + 2 + length]).decode('cp1252')


def type_library_values(path, module, help_dir):
    """The keys RegisterTypeLib writes for the type library at path when it is
    registered as module (the DLL carrying it) with help_dir."""
    data = bytearray(open(path, 'rb').read())
    if data[:4] != b'MSFT':
        raise RegistryScriptError(f'{path}: not an MSFT type library')
    segments = segment_directory(data)
    libid = guid_at(data, segments, struct.unpack_from('<i', data, 0x08)[0])
    lcid, _, varflags, version, libflags = struct.unpack_from('<iiiii', data, 0x0c)
    version_text = f'{version & 0xffff}.{version >> 16 & 0xffff}'
    library = f'TypeLib\\{libid}\\{version_text}'
    values = [(TYPE_LIBRARY, library, '', string_at(data, segments, struct.unpack_from('<i', data, 0x24)[0])),
              (TYPE_LIBRARY, f'{library}\\FLAGS', '', str(libflags | LIBFLAG_FHASDISKIMAGE)),
              (SERVER, f'{library}\\{lcid:x}\\{SYSKIND_NAMES[varflags & 0xf]}', '', module),
              (TYPE_LIBRARY, f'{library}\\HELPDIR', '', help_dir)]
    for entry in typeinfo_entries(data, segments):
        kind = struct.unpack_from('<i', data, entry)[0] & 0xf
        flags = struct.unpack_from('<i', data, entry + 0x30)[0]
        if not (kind == TKIND_DISPATCH or
                (kind == TKIND_INTERFACE and flags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION))):
            continue
        iid = guid_at(data, segments, struct.unpack_from('<i', data, entry + 0x2c)[0])
        name = name_at(data, segments, struct.unpack_from('<i', data, entry + 0x34)[0])
        proxy_stub = PROXY_STUB_DISPATCH if kind == TKIND_DISPATCH and not flags & TYPEFLAG_FDUAL \
            else PROXY_STUB_AUTOMATION
        # A 64-bit library's interfaces are registered for 32-bit callers too;
        # the 32-bit view's keys are the same whichever package writes them.
        win64 = varflags & 0xf == SYSKIND_WIN64
        for view, component in ((('', SERVER), (WOW64_VIEW, TYPE_LIBRARY)) if win64 else (('', TYPE_LIBRARY),)):
            interface = f'{view}Interface\\{iid}'
            values += [(component, interface, '', name),
                       (component, f'{interface}\\ProxyStubClsid', '', proxy_stub),
                       (component, f'{interface}\\ProxyStubClsid32', '', proxy_stub),
                       (component, f'{interface}\\TypeLib', '', libid),
                       (component, f'{interface}\\TypeLib', 'Version', version_text)]
    return values


def registry_values(rgs, tlb, module, install_dir):
    """(component, key, name, value) of everything self-registration writes.
    Of the script's keys the class's own are the server's; the others are
    ProgIDs."""
    script = RegistryScript(open(rgs, encoding='utf-8').read(), {'MODULE': module})
    return [(SERVER if key.split('\\')[0] == 'CLSID' else PROGIDS, key, name, value)
            for key, name, value in script.parse()] + type_library_values(tlb, module, install_dir)


def component_guid(arch, name):
    owner = 'shared' if name in SHARED_COMPONENTS else arch
    return '{' + str(uuid.uuid5(COMPONENT_NAMESPACE, f'{owner}/{name}')).upper() + '}'


# Stand for the installed DLL's path and folder until the output names them.
MODULE, INSTALLDIR = '\x01', '\x02'


def placed(value, module, install_dir):
    return value.replace(MODULE, module).replace(INSTALLDIR, install_dir)


def msi_formatted(text):
    """Registry text as an MSI formatted string: [ and ] are escaped."""
    return re.sub(r'[\[\]]', lambda m: '[\\' + m.group(0) + ']', text)


def registry_lines(values, key_path):
    """RegistryValue elements; with key_path the first is the component's key path."""
    lines = []
    for key, name, value in values:
        name_attribute = f' Name={quoteattr(name)}' if name else ''
        key_path_attribute = ' KeyPath="yes"' if key_path and not lines else ''
        lines.append(f'            <RegistryValue Root="HKCR" Key={quoteattr(msi_formatted(key))}'
                     f'{name_attribute} Type="string" Value={quoteattr(value)}{key_path_attribute}/>')
    return lines


def component_lines(args, component_id, win64, body):
    return [f'          <Component Id="{component_id}" Guid="{component_guid(args.arch, component_id)}"'
            f' Win64="{"yes" if win64 else "no"}">', *body, '          </Component>']


def wxs(args, files, values):
    """values: (component, key, name, value) with the component as registry_values names it."""
    win64 = args.arch == 'x64'
    program_files = 'ProgramFiles64Folder' if win64 else 'ProgramFilesFolder'
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
             f'  <Product Id="*" Name="Quorvex3 ({args.arch})" Language="1033" Version="{args.version}"'
             f' Manufacturer="Brenlow Zandel" UpgradeCode="{args.upgrade_code}">',
             '    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"'
             f' Description="Quorvex3 {args.version} ({args.arch})"/>',
             '    <MajorUpgrade DowngradeErrorMessage="A newer version of Quorvex3 is already installed;'
             ' uninstall it first to install this older one."/>',
             '    <Media Id="1" Cabinet="Quorvex3.cab" EmbedCab="yes"/>',
             '    <Directory Id="TARGETDIR" Name="SourceDir">',
             f'      <Directory Id="{program_files}">',
             '        <Directory Id="INSTALLDIR" Name="Quorvex3">']

    def rows(component):
        return [(key, name, value) for of, key, name, value in values if of == component]

    for index, (file_id, source) in enumerate(files):
        # wixl takes no absolute source path: relative to the folder of the .wxs, where it runs.
        source = os.path.relpath(source, os.path.dirname(os.path.abspath(args.out)))
        body = [f'            <File Id="{file_id}" Name="{os.path.basename(source)}" Source={quoteattr(source)}'
                ' KeyPath="yes"/>']
        lines += component_lines(args, file_id, win64, body + (registry_lines(rows(SERVER), False) if index == 0
                                                                else []))
    lines += component_lines(args, PROGIDS, win64, registry_lines(rows(PROGIDS), True))
    # A 32-bit component in both packages: a 64-bit package's 32-bit view keys lose their Wow6432Node.
    lines += component_lines(args, TYPE_LIBRARY, False, registry_lines(
        [(key[len(WOW64_VIEW):] if key.startswith(WOW64_VIEW) else key, name, value)
         for key, name, value in rows(TYPE_LIBRARY)], True))
    lines += ['        </Directory>',
              '      </Directory>',
              '    </Directory>',
              '    <Feature Id="Runtime" Level="1">']
    lines += [f'      <ComponentRef Id="{component_id}"/>'
              for component_id in [file_id for file_id, _ in files] + list(SHARED_COMPONENTS)]
    lines += ['    </Feature>', '  </Product>', '</Wix>', '']
    return '\n'.join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--arch', choices=['x86', 'x64'], required=True)
    parser.add_argument('--version')
    parser.add_argument('--upgrade-code')
    parser.add_argument('--rgs', required=True)
    parser.add_argument('--tlb', required=True)
    parser.add_argument('--file', action='append', default=[], help='ID=PATH; the first is the server DLL')
    parser.add_argument('--registry-only', action='store_true')
    parser.add_argument('out')
    args = parser.parse_args()
    files = [tuple(item.split('=', 1)) for item in args.file]
    server_id, server_path = files[0]
    try:
        values = registry_values(args.rgs, args.tlb, MODULE, INSTALLDIR)
        if args.registry_only:
            folder = 'INSTALLDIR\\'
            module = folder + os.path.basename(server_path)
            text = ''.join(f'{component}\t{key}\\{name}={placed(value, module, folder)}\n'
                           for component, key, name, value in values)
        else:
            text = wxs(args, files, [(component, key, name,
                                      placed(msi_formatted(value), f'[#{server_id}]', '[INSTALLDIR]'))
                                     for component, key, name, value in values])
    except (RegistryScriptError, OSError) as error:
        sys.exit(f'MakeWxs.py: {error}')
    open(args.out, 'w', encoding='utf-8').write(text)


if __name__ == '__main__':
    main()
