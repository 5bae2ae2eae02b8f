#!/usr/bin/env python3
"""Tests of the Windows Installer package of one architecture.

  tables     the package's File, Directory, Component, Registry and upgrade
             tables, without running it: the registry rows are the generated
             list, the files are this build's, of the right architecture
  lifecycle  in a fresh prefix: install; HKCR gains exactly the generated
             keys; a VBScript client works; uninstall leaves HKCR and Program
             Files as they were and ConfigFile gets REGDB_E_CLASSNOTREG; then
             regsvr32 of the same files in the same place writes the same keys
  next       builds the package of the next version in a scratch folder:
             this source again, only the runtime and the package
  upgrade    in a fresh prefix: N then N+1 is one installation of N+1 with a
             working client; N over N+1 is refused with the package's message
  side-by-side  (x86 build) both packages in one 64-bit prefix; uninstalling
             either leaves the other's class working and HKCR as Windows
             Installer's component rules make it: the shared components stay
             until the last package holding them goes; the 32-bit clients run
             only where the machine runs 32-bit programs
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REGDB_E_CLASSNOTREG = '80040154'
CO_E_CLASSSTRING = '800401F3'
TYPE_E_LIBNOTREGISTERED = '8002801D'
# Windows Installer's own bookkeeping, left out where the package's keys are compared.
INSTALLER_KEYS = 'hkey_classes_root\\installer\\'
# Wine's msiexec makes these on the first installation in a prefix and keeps
# them, empty, when the last product goes (Windows has them from the start).
INSTALLER_CONTAINERS_KEYS = {f'hkey_classes_root\\installer\\{name}' for name in
                             ('features', 'products', 'upgradecodes')}
DOWNGRADE_MESSAGE = 'A newer version of Quorvex3 is already installed'
RUNTIME_FILES = ['Quorvex3.dll', 'QuorvexLog.dll', 'quorvexcfg.exe']
PE_MACHINES = {'x86': 0x14c, 'x64': 0x8664}
HKCR = 'hkey_classes_root'
MSI_COMPONENT_64BIT = 0x100
# The generated list's Server entries go with the DLL's file in the package.
LIST_COMPONENTS = {'Server': 'Quorvex3.dll'}
# Written by both architectures' packages, as one component of each.
SHARED_COMPONENTS = ('ProgIDs', 'TypeLibrary')
# A 32-bit component in both packages.
TYPE_LIBRARY = 'TypeLibrary'
# Keys that both registry views share: Wine links the 32-bit view's
# Classes\Wow6432Node\<key> to the 64-bit one, so an export lists them twice.
SHARED_CLASSES_KEYS = ('appid', 'protocols', 'typelib')


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(command, **options):
    return subprocess.run(command, capture_output=True, text=True, errors='replace', **options)


class Prefix:
    """A fresh Wine prefix of the build's architecture, with its own server."""

    def __init__(self, args, name):
        self.args = args
        self.kind = args.prefix_arch or args.arch
        # The 32-bit package in a 64-bit prefix, as on 64-bit Windows.
        self.wow64 = args.arch == 'x86' and self.kind == 'x64'
        self.path = os.path.join(args.build, 'install-prefixes', name + ('-wow64' if self.wow64 else ''))
        shutil.rmtree(self.path, ignore_errors=True)
        os.makedirs(self.path)
        self.helper('start')

    def helper(self, action):
        subprocess.run([os.path.join(self.args.source, 'cmake', 'wine-prefix.sh'), action, self.path,
                        self.kind], check=True, stdin=subprocess.DEVNULL)

    def close(self):
        self.helper('stop')
        shutil.rmtree(self.path, ignore_errors=True)

    def wine(self, *command):
        return run([os.path.join(self.args.source, 'cmake', 'wine.sh'), self.kind, self.path, *command],
                   stdin=subprocess.DEVNULL)

    def drive_c(self, *parts):
        return os.path.join(self.path, 'drive_c', *parts)

    def program_files(self):
        return 'Program Files (x86)' if self.wow64 else 'Program Files'

    def registry_view(self):
        """Where the package writes HKCR under Wine: the 32-bit keys of a
        64-bit prefix go under Wow6432Node."""
        return 'Wow6432Node\\' if self.wow64 else ''

    def install_dir(self):
        return 'C:\\' + self.program_files() + '\\Quorvex3\\'

    def msiexec(self, action, msi):
        """Runs msiexec on a package of this build's folders; fails unless it succeeds."""
        status, log = self.msiexec_status(action, msi)
        check(status == 0, f'msiexec {action} {msi}: exit {status}\n{log[-3000:]}')

    def msiexec_status(self, action, msi):
        """The exit status and this run's log; on failure also what Wine printed.
        Exit status 1 is no Windows Installer result (0, 16xx or 3010, of
        which Wine passes the low 8 bits): msiexec gives it when it cannot
        start an installation at all.
        Seen once in CI on an uninstall; such a run is made once more, and
        the HKCR comparisons that follow still judge the result."""
        log = self.drive_c('msiexec.log')
        for attempt in (1, 2):
            # A run that fails before it logs must not show the last run's log.
            if os.path.exists(log):
                os.remove(log)
            result = self.wine('msiexec', action, windows_path(msi), '/qn', '/l*v', 'C:\\msiexec.log')
            wine_output = f'stdout: {result.stdout[-1500:]}\nstderr: {result.stderr[-1500:]}'
            if result.returncode != 1 or attempt == 2:
                break
            print(f'msiexec {action} exited 1 (log written: {os.path.exists(log)}); '
                  f'running it again. Wine printed:\n{wine_output}')
        text = read_log(log) if os.path.exists(log) else '(no log written)\n'
        if result.returncode != 0:
            text += '\n' + wine_output
        return result.returncode, text

    def export_hkcr(self):
        """HKCR as {key: {value name: value text}}, keys in lower case."""
        target = self.drive_c('hkcr.reg')
        result = self.wine('reg', 'export', 'HKCR', 'C:\\hkcr.reg', '/y')
        check(result.returncode == 0, f'reg export HKCR failed: {result.returncode} {result.stderr}')
        keys = parse_reg_export(open(target, encoding='utf-16').read())
        os.remove(target)
        return keys

    def folder_state(self):
        """Every file and folder below the Program Files folders, with the files' hashes."""
        state = {}
        for top in ('Program Files', 'Program Files (x86)'):
            for root, folders, files in os.walk(self.drive_c(top)):
                for name in folders + files:
                    path = os.path.join(root, name)
                    state[os.path.relpath(path, self.drive_c())] = 'folder' if name in folders else file_hash(path)
        return state

    def prepare(self, build=None, wow64=None):
        """Registers the tag server of the build's architecture from a folder
        of its own, as a client's own would be, and runs the client once (cscript
        registers its own type library on its first run); returns HKCR and the
        Program Files folders then, the state before any installation."""
        wow64 = self.wow64 if wow64 is None else wow64
        folder = 'TagServer32' if wow64 else 'TagServer'
        os.makedirs(self.drive_c(folder))
        for name in ('TagServer.dll', 'QuorvexLog.dll'):
            shutil.copy(os.path.join(build or self.args.build, 'bin', name), self.drive_c(folder))
        result = self.wine('regsvr32', '/s', f'C:\\{folder}\\TagServer.dll')
        check(result.returncode == 0, f'regsvr32 TagServer.dll: {result.returncode}')
        output = self.client(wow64)
        check(output.startswith('client failed at CreateObject ConfigFile'), f'client before install: {output}')
        return self.export_hkcr(), self.folder_state()

    def probe(self, probe=None):
        """What CoCreateInstance gives by CLSID and by ProgID, and LoadRegTypeLib."""
        result = self.wine(windows_path(probe or self.args.probe))
        return ', '.join(result.stdout.split('\n')).strip(', ')

    def client(self, wow64=None):
        script = windows_path(os.path.join(HERE, 'InstallClient.vbs'))
        cscript = 'C:\\windows\\syswow64\\cscript.exe' if (self.wow64 if wow64 is None else wow64) else 'cscript'
        result = self.wine(cscript, '//nologo', script, 'C:\\client.cfg')
        if os.path.exists(self.drive_c('client.cfg')):
            os.remove(self.drive_c('client.cfg'))
        return (result.stdout + result.stderr).strip()


def read_log(path):
    data = open(path, 'rb').read()
    return data.decode('utf-16') if data[:2] == b'\xff\xfe' else data.decode('utf-8', errors='replace')


def file_hash(path):
    return hashlib.sha256(open(path, 'rb').read()).hexdigest()


def parse_reg_export(text):
    keys, current = {}, None
    # A value's line ends in a backslash where the next line continues it.
    for line in re.sub(r'\\\n\s*', '', text.replace('\r\n', '\n')).split('\n'):
        if line.startswith('[') and line.endswith(']'):
            key = line[1:-1].lower()
            current = None if is_link_to_shared_key(key) else keys.setdefault(key, {})
        elif current is not None and line and (line.startswith('"') or line.startswith('@=')):
            name, value = split_value_line(line)
            current[name.lower()] = value
    return keys


def is_link_to_shared_key(key):
    parts = key.split('\\')
    return len(parts) > 2 and parts[1] == 'wow6432node' and parts[2] in SHARED_CLASSES_KEYS


def split_value_line(line):
    """'"name"="text"' or '@=...' into the name ('' for the default) and the
    value: a string's text unescaped, other types as exported."""
    if line.startswith('@='):
        name, rest = '', line[2:]
    else:
        match = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
        name, rest = unescape(match.group(1)), match.group(2)
    if rest.startswith('"') and rest.endswith('"'):
        return name, unescape(rest[1:-1])
    return name, rest


def unescape(text):
    return re.sub(r'\\(.)', r'\1', text)


def changes(before, after, ignore_prefix=None):
    """What after adds or changes against before, as {(key, name): value}
    (name None for a key that only appears, without values); removed entries
    as value None."""
    result = {}
    parents = {key[:i] for key in after for i, c in enumerate(key) if c == '\\'}
    for key in set(before) | set(after):
        if ignore_prefix and key.startswith(ignore_prefix):
            continue
        old, new = before.get(key), after.get(key)
        if old is None and new == {} and key not in parents:
            result[(key, None)] = 'new empty key'
        if new is None:
            result[(key, None)] = None
            continue
        for name in set(old or {}) | set(new):
            if (old or {}).get(name) != new.get(name):
                result[(key, name)] = new.get(name)
    return result


def generated_entries(registry_list):
    """The generated "COMPONENT<tab>KEY\\NAME=VALUE" lines as (component,
    key, name, value), key and name in lower case."""
    for line in open(registry_list, encoding='utf-8').read().splitlines():
        component, entry = line.split('\t', 1)
        left, value = entry.split('=', 1)
        key, name = left.rsplit('\\', 1)
        yield component, key.lower(), name.lower(), value


def expected_changes(registry_list, install_dir, view, components=None):
    """The generated list (only the given components' entries, if any) as
    changes to HKCR for the given installation folder, in the given registry
    view (shared keys are in both)."""
    return {(f'{HKCR}\\{in_view(key, view)}', name): value.replace('INSTALLDIR\\', install_dir)
            for component, key, name, value in generated_entries(registry_list)
            if components is None or component in components}


def in_view(key, view):
    return key if key.split('\\')[0] in SHARED_CLASSES_KEYS else view.lower() + key


def describe(difference):
    return '\n'.join(f'  {key} [{name}] = {value!r}' for (key, name), value in sorted(
        difference.items(), key=lambda item: (item[0][0], item[0][1] or '')))


def compare_changes(label, actual, expected):
    missing = {k: v for k, v in expected.items() if actual.get(k) != v}
    extra = {k: v for k, v in actual.items() if k not in expected}
    check(not missing and not extra,
          f'{label}: missing or different:\n{describe(missing)}\n  found instead or besides:\n{describe(extra)}')


def msiexec_changes(hkcr_before, hkcr_now, installer_keys=False):
    """What msiexec changed in HKCR, but for what Wine's msiexec does to keys
    that are empty: it keeps its own bookkeeping keys and removes an empty key
    whose last subkey it removed; those as lists. Windows Installer's own keys
    are left out unless installer_keys."""
    left = changes(hkcr_before, hkcr_now, None if installer_keys else INSTALLER_KEYS)
    kept = sorted(key for key, name in left if name is None and key in INSTALLER_CONTAINERS_KEYS)
    emptied = sorted(key for key, name in left if name is None and left[(key, name)] is None
                     and hkcr_before.get(key) == {})
    return {change: value for change, value in left.items() if change[0] not in kept + emptied}, kept, emptied


def back_as_before(hkcr_before, hkcr_now, when, expected_left=None):
    """Checks that HKCR is as before, but for the entries expected to be left
    and for the empty keys msiexec_changes tolerates; says what it tolerated."""
    left, kept, emptied = msiexec_changes(hkcr_before, hkcr_now, installer_keys=True)
    compare_changes(f'HKCR after {when} against before the install', left, expected_left or {})
    return (f'HKCR ({len(hkcr_now)} keys) as before but for the empty keys msiexec keeps '
            f'({", ".join(kept) or "none"}) and those it removed ({", ".join(emptied) or "none"})')


def check_installed(prefix, hkcr_before, build, when):
    """The installation folder holds the runtime files of build and nothing
    else, HKCR gained exactly the generated list, and the clients work; gives
    what HKCR gained and what the clients said."""
    folder = prefix.drive_c(prefix.program_files(), 'Quorvex3')
    present = sorted(os.listdir(folder)) if os.path.isdir(folder) else None
    check(present == sorted(RUNTIME_FILES), f'{when}: the installation folder {folder} holds {present}')
    for name in RUNTIME_FILES:
        check(file_hash(os.path.join(folder, name)) == file_hash(os.path.join(build, 'bin', name)),
              f'{when}: installed {name} is not the one of {build}')
    written = changes(hkcr_before, prefix.export_hkcr(), INSTALLER_KEYS)
    compare_changes(f'HKCR {when} against the generated list', written,
                    expected_changes(prefix.args.registry, prefix.install_dir(), prefix.registry_view()))
    return written, working_clients(prefix, prefix.args.probe, prefix.wow64, when)


def working_clients(prefix, probe, wow64, when):
    """The probe and the VBScript client of one architecture both get
    ConfigFile; says what they printed."""
    said = f'ConfigFile {prefix.probe(probe)}; VBScript {prefix.client(wow64)}'
    check(said.startswith('ConfigFile by CLSID: 0x00000000, by ProgID: 0x00000000, type library: 0x00000000; '
                          'VBScript client ok'), f'{when}: {said}')
    return said


def test_lifecycle(args):
    prefix = Prefix(args, 'lifecycle')
    try:
        hkcr_before, files_before = prefix.prepare()
        prefix.msiexec('/i', args.msi)
        written, clients = check_installed(prefix, hkcr_before, args.build, 'after msiexec /i')
        print(f'install: {len(written)} values written to HKCR besides the installer\'s own keys, '
              f'the generated list exactly; files: {", ".join(RUNTIME_FILES)} in {prefix.install_dir()}')
        print(f'clients after install: {clients}')

        prefix.msiexec('/x', args.msi)
        hkcr_after = prefix.export_hkcr()
        print(f'uninstall: {back_as_before(hkcr_before, hkcr_after, "msiexec /x")}')
        check(prefix.folder_state() == files_before, 'Program Files differs from before the install')
        print(f'uninstall: Program Files ({len(files_before)} entries) as before the install')
        output = prefix.probe()
        check(output.upper() == f'BY CLSID: 0X{REGDB_E_CLASSNOTREG}, BY PROGID: 0X{CO_E_CLASSSTRING}, '
                                f'TYPE LIBRARY: 0X{TYPE_E_LIBNOTREGISTERED}',
              f'ConfigFile after uninstall: {output}')
        print(f'ConfigFile after uninstall: {output}; VBScript: {prefix.client()}')

        compare_with_regsvr32(prefix, hkcr_after, written)
    finally:
        prefix.close()


def compare_with_regsvr32(prefix, hkcr_clean, written_by_package):
    """The same files in the same folder, registered by regsvr32: HKCR gains
    what the package wrote, key by key."""
    folder = prefix.drive_c(prefix.program_files(), 'Quorvex3')
    os.makedirs(folder)
    for name in RUNTIME_FILES:
        shutil.copy(os.path.join(prefix.args.build, 'bin', name), folder)
    dll = prefix.install_dir() + 'Quorvex3.dll'
    result = prefix.wine('regsvr32', '/s', dll)
    check(result.returncode == 0, f'regsvr32 {dll}: exit {result.returncode}')
    registered = changes(hkcr_clean, prefix.export_hkcr())
    tolerated = ''
    if prefix.wow64:
        registered, tolerated = as_a_32bit_package_writes(registered)
    compare_changes('HKCR after regsvr32 against what msiexec /i wrote', registered, written_by_package)
    print(f'regsvr32 of {dll}: the same {len(registered)} values as the package wrote, key by key{tolerated}')
    result = prefix.wine('regsvr32', '/u', '/s', dll)
    check(result.returncode == 0, f'regsvr32 /u {dll}: exit {result.returncode}')


def as_a_32bit_package_writes(registered):
    """What a 32-bit regsvr32 wrote in a 64-bit prefix, as a 32-bit package
    can write it, and what that changed. Its ProgID keys are the ones both
    views share (as on Windows), where this msiexec puts a 32-bit component's
    under Wow6432Node; and the 32-bit RegisterTypeLib also registers the
    interfaces for 64-bit callers, in the 64-bit view, which no 32-bit package
    can write to."""
    interfaces_for_64bit = {(key, name) for key, name in registered
                            if key.startswith(f'{HKCR}\\interface\\')}
    progids = {(key, name) for key, name in registered
               if key.split('\\')[1] not in ('clsid', 'interface', 'typelib', 'wow6432node')}
    result = {(f'{HKCR}\\wow6432node\\{key[len(HKCR) + 1:]}' if (key, name) in progids else key, name): value
              for (key, name), value in registered.items() if (key, name) not in interfaces_for_64bit}
    return result, (f' once its {len(progids)} shared ProgID values are taken as the 32-bit view\'s and its '
                    f'{len(interfaces_for_64bit)} values for 64-bit callers of the interfaces left out')


class Package:
    """One architecture's package, its generated list, its probe and its build."""

    def __init__(self, arch, build, version):
        self.arch, self.build = arch, build
        self.msi = os.path.join(build, f'Quorvex3-{version}-{arch}.msi')
        self.registry = os.path.join(build, 'installer', 'Quorvex3-registry.txt')
        self.probe = os.path.join(build, 'bin', 'install_activation_probe.exe')
        self.install_dir = 'C:\\Program Files (x86)\\Quorvex3\\' if arch == 'x86' else 'C:\\Program Files\\Quorvex3\\'
        self.view = 'Wow6432Node\\' if arch == 'x86' else ''

    def expected(self, components=None):
        return expected_changes(self.registry, self.install_dir, self.view, components)

    def components(self):
        return {component for component, _, _, _ in generated_entries(self.registry)}


class InstallerModel:
    """What Windows Installer leaves in HKCR, component by component: a
    package's component goes with it unless another installed package holds
    the same (shared) component; a value written twice holds the last text."""

    def __init__(self):
        self.values, self.installed = {}, []

    def install(self, package):
        self.installed.append(package)
        self.values.update(package.expected())

    def remove(self, package):
        self.installed.remove(package)
        held = {component for other in self.installed for component in other.components()}
        for component in package.components() - (held & set(SHARED_COMPONENTS)):
            for change in package.expected([component]):
                self.values.pop(change, None)

    def left_behind(self):
        """What no installed package wrote as it stands."""
        current = {}
        for package in self.installed:
            current.update(package.expected())
        return {change: value for change, value in self.values.items() if current.get(change) != value}


def check_component_codes(x64, x86):
    """The shared components have one code in both packages; the others differ."""
    codes = [{row[0]: row[1] for row in msi_table(package.msi, 'Component')} for package in (x64, x86)]
    check(codes[0].keys() == codes[1].keys() and
          all((codes[0][name] == codes[1][name]) == (name in SHARED_COMPONENTS) for name in codes[0]),
          f'component codes: x64 {codes[0]}, x86 {codes[1]}')


def test_side_by_side(args):
    x64, x86 = Package('x64', args.other_build, args.version), Package('x86', args.build, args.version)
    for path in (x64.msi, x64.probe):
        if not os.path.exists(path):
            print(f'Skipped: {path} is missing: build the windows-x64 preset first')
            return
    check_component_codes(x64, x86)
    prefix = Prefix(args, 'side-by-side')
    model = InstallerModel()

    def msiexec(action, package):
        prefix.msiexec(action, package.msi)
        (model.install if action == '/i' else model.remove)(package)
        return msiexec_changes(hkcr_before, prefix.export_hkcr())[0]

    try:
        hkcr_before, _ = prefix.prepare(x64.build, wow64=False)
        if args.runs_x86:
            prefix.prepare(x86.build, wow64=True)
            hkcr_before = prefix.export_hkcr()
        msiexec('/i', x64)
        compare_changes('HKCR with both packages', msiexec('/i', x86), model.values)
        shared = sorted(set(x64.expected()) & set(x86.expected()))
        print(f'both installed: HKCR holds both generated lists ({len(model.values)} values); '
              f'{len(shared)} of them are the same keys in both: {summarize(shared)}')
        check_clients(prefix, args, (x64, x86), 'both installed')

        for removed, kept in ((x86, x64), (x64, x86)):
            compare_changes(f'HKCR after uninstalling {removed.arch}', msiexec('/x', removed), model.values)
            print(f'{removed.arch} uninstalled: the {kept.arch} entries all there; kept of {removed.arch} by '
                  f'the shared components: {summarize(model.left_behind()) or "none"}')
            check_clients(prefix, args, (kept,), f'{removed.arch} uninstalled')
            if removed is x86:
                msiexec('/i', x86)
        msiexec('/x', x86)
        # Under Wine a ProgID key has a copy in each registry view, where
        # Windows 7 and later keep one for both: the ProgIDs component, shared
        # as on Windows, leaves the copy of the view whose package went first.
        print(f'both uninstalled: {back_as_before(hkcr_before, prefix.export_hkcr(), "both uninstalled", model.values)}'
              f'; left: {summarize(model.values) or "nothing"}')
    finally:
        prefix.close()


def summarize(entries):
    """Registry entries counted by the key that names a GUID or a ProgID."""
    counts = {}
    for key, _ in entries:
        parts = key.split('\\')
        first = 2 if parts[1] == 'wow6432node' else 1
        guid = next((i for i, part in enumerate(parts) if part.startswith('{')), first)
        group = '\\'.join(parts[1:guid + 1])
        counts[group] = counts.get(group, 0) + 1
    return ', '.join(f'{group} ({count} value{"s" if count > 1 else ""})' for group, count in sorted(counts.items()))


def check_clients(prefix, args, packages, when):
    for package in packages:
        if package.arch == 'x86' and not args.runs_x86:
            print(f'  {when}: x86 clients not run: this machine does not run 32-bit programs')
            continue
        print(f'  {when}: {package.arch} {working_clients(prefix, package.probe, package.arch == "x86", when)}')


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def next_version(version):
    """The version a major upgrade takes over: Windows Installer compares
    only the first three fields."""
    fields = [int(field) for field in version.split('.')]
    fields[2] += 1
    return '.'.join(str(field) for field in fields)


def next_build_folder(args):
    return os.path.join(args.build, 'install-next')


def test_next(args):
    folder = next_build_folder(args)
    cache = {}
    for line in open(os.path.join(args.build, 'CMakeCache.txt')).read().splitlines():
        match = re.match(r'(CMAKE_TOOLCHAIN_FILE|CMAKE_GENERATOR):[A-Z]+=(.*)$', line)
        if match:
            cache[match.group(1)] = match.group(2)
    # No optimisation and no debug information: the package's mechanics are
    # tested, and the build is a good part of the test's time.
    configure = ['cmake', '-S', args.source, '-B', folder, '-G', cache['CMAKE_GENERATOR'],
                 f'-DCMAKE_TOOLCHAIN_FILE={cache["CMAKE_TOOLCHAIN_FILE"]}', '-DCMAKE_BUILD_TYPE=',
                 f'-DQUORVEX_VERSION={next_version(args.version)}']
    for command in (configure, ['cmake', '--build', folder, '-j2', '--target', 'msi']):
        result = run(command)
        check(result.returncode == 0, f'{" ".join(command)}:\n{result.stdout[-3000:]}{result.stderr[-3000:]}')
    print(f'built {next_msi(args)}')


def next_msi(args):
    return os.path.join(next_build_folder(args), f'Quorvex3-{next_version(args.version)}-{args.arch}.msi')


def installed_version(prefix):
    result = prefix.wine(prefix.install_dir() + 'quorvexcfg.exe', '--version')
    return result.stdout.strip()


def uninstall_entries(prefix):
    """The Quorvex3 products in the list of installed programs."""
    result = prefix.wine('reg', 'query', 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall', '/s')
    return [line.strip() for line in result.stdout.splitlines() if 'DisplayName' in line and 'Quorvex3' in line]


def test_upgrade(args):
    newer = next_msi(args)
    check(os.path.exists(newer), f'{newer} is missing: the test install.next builds it')
    prefix = Prefix(args, 'upgrade')
    try:
        hkcr_before, _ = prefix.prepare()
        prefix.msiexec('/i', args.msi)
        check(installed_version(prefix).endswith(args.version), f'installed: {installed_version(prefix)}')
        prefix.msiexec('/i', newer)
        version = installed_version(prefix)
        check(version.endswith(next_version(args.version)), f'after the upgrade quorvexcfg --version says {version}')
        products = uninstall_entries(prefix)
        check(len(products) == 1, f'after the upgrade Windows Installer lists {products}')
        written, clients = check_installed(prefix, hkcr_before, next_build_folder(args), 'after the upgrade')
        print(f'upgrade {args.version} -> {next_version(args.version)}: exit 0, one product ({products[0]}), '
              f'{version}, the {len(written)} generated values, {clients}')

        hkcr_upgraded, files_upgraded = prefix.export_hkcr(), prefix.folder_state()
        status, log = prefix.msiexec_status('/i', args.msi)
        launch = re.search(r'LaunchConditions\. Return value (\d+)', log)
        check(status != 0 and launch and launch.group(1) != '1' and 'Found application' in log,
              f'downgrade: exit {status}, launch conditions: {launch and launch.group(0)}\n{log[-3000:]}')
        check(prefix.export_hkcr() == hkcr_upgraded and prefix.folder_state() == files_upgraded,
              'the refused downgrade changed HKCR or Program Files')
        said = DOWNGRADE_MESSAGE in log
        print(f'downgrade to {args.version}: refused, exit {status}; the log: the newer product found, '
              f'"{launch.group(0)}"; the message "{DOWNGRADE_MESSAGE}" '
              f'{"in the log" if said else "not in the log (this msiexec does not write it)"}; '
              f'HKCR, Program Files and {installed_version(prefix)} unchanged')

        prefix.msiexec('/x', newer)
        print(f'uninstall of the upgrade: {back_as_before(hkcr_before, prefix.export_hkcr(), "uninstall")}')
    finally:
        prefix.close()


def msi_table(msi, table):
    result = run(['msiinfo', 'export', msi, table])
    check(result.returncode == 0, f'msiinfo export {table}: {result.stderr}')
    return [line.split('\t') for line in result.stdout.splitlines()[3:]]


def msi_text(formatted):
    """A formatted string of the package as the generated list writes it."""
    text = formatted.replace('[#Quorvex3.dll]', 'INSTALLDIR\\Quorvex3.dll').replace('[INSTALLDIR]', 'INSTALLDIR\\')
    return re.sub(r'\[\\(.)\]', r'\1', text)


def pe_machine(path):
    data = open(path, 'rb').read(4096)
    offset = int.from_bytes(data[0x3c:0x40], 'little')
    check(data[offset:offset + 4] == b'PE\0\0', f'{path} is not a PE file')
    return int.from_bytes(data[offset + 4:offset + 6], 'little')


def test_tables(args):
    rows = msi_table(args.msi, 'Registry')
    check(all(row[1] == '0' for row in rows), 'a registry row outside HKCR')
    components = msi_table(args.msi, 'Component')
    win64 = {row[0]: int(row[3]) & MSI_COMPONENT_64BIT != 0 for row in components}
    check(all(win64[row[0]] == (args.arch == 'x64' and row[0] != TYPE_LIBRARY) for row in components),
          f'component attributes: {[(row[0], row[3]) for row in components]}')
    # Keys as a 64-bit program sees them, as the generated list has them.
    view = 'Wow6432Node\\' if args.arch == 'x64' else ''
    package = {}
    for _, _, key, name, value, component in rows:
        key = msi_text(key).lower()
        key = key if win64[component] else in_view(key, view)
        package[(f'{component}: {key}', name.lower())] = msi_text(value)
    generated = {(f'{LIST_COMPONENTS.get(component, component)}: {key}', name): value
                 for component, key, name, value in generated_entries(args.registry)}
    compare_changes('Registry table against the generated list, component by component', package, generated)

    program_files = 'ProgramFiles64Folder' if args.arch == 'x64' else 'ProgramFilesFolder'
    directories = {row[0]: (row[1], row[2]) for row in msi_table(args.msi, 'Directory')}
    check(directories.get('INSTALLDIR') == (program_files, 'Quorvex3'), f'Directory table: {directories}')
    check(all(row[2] == 'INSTALLDIR' for row in components), 'a component outside INSTALLDIR')
    files = sorted(row[2] for row in msi_table(args.msi, 'File'))
    check(files == sorted(RUNTIME_FILES), f'File table: {files}')
    properties = dict(row[:2] for row in msi_table(args.msi, 'Property'))
    check(properties.get('ProductVersion') == args.version and properties.get('ALLUSERS') == '1',
          f'ProductVersion {properties.get("ProductVersion")}, ALLUSERS {properties.get("ALLUSERS")}')
    conditions = msi_table(args.msi, 'LaunchCondition')
    check(any(row[0] == 'NOT WIX_DOWNGRADE_DETECTED' and row[1].startswith(DOWNGRADE_MESSAGE) for row in conditions),
          f'LaunchCondition table: {conditions}')
    upgrades = msi_table(args.msi, 'Upgrade')
    check(len(upgrades) == 2 and all(row[0] == properties.get('UpgradeCode') for row in upgrades),
          f'Upgrade table: {upgrades}')

    unpacked = os.path.join(args.build, 'install-tables')
    shutil.rmtree(unpacked, ignore_errors=True)
    result = run(['msiextract', '-C', unpacked, args.msi])
    check(result.returncode == 0, f'msiextract: {result.stderr}')
    for root, _, names in os.walk(unpacked):
        for name in names:
            path = os.path.join(root, name)
            check(file_hash(path) == file_hash(os.path.join(args.build, 'bin', name)), f'packed {name} differs')
            check(pe_machine(path) == PE_MACHINES[args.arch], f'packed {name}: machine {pe_machine(path):#x}')
    shutil.rmtree(unpacked)
    print(f'{os.path.basename(args.msi)}: {len(rows)} registry rows = the generated list; {", ".join(files)} in '
          f'{program_files}\\Quorvex3, machine {PE_MACHINES[args.arch]:#x}; upgrade code {properties["UpgradeCode"]}')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('test', choices=['tables', 'lifecycle', 'next', 'upgrade', 'side-by-side'])
    parser.add_argument('--source', required=True)
    parser.add_argument('--build', required=True)
    parser.add_argument('--arch', choices=['x86', 'x64'], required=True)
    parser.add_argument('--prefix-arch', choices=['x86', 'x64'], help="the prefix's kind, when not the package's")
    parser.add_argument('--version', required=True)
    parser.add_argument('--msi', required=True)
    parser.add_argument('--registry', required=True)
    parser.add_argument('--probe', required=True, help='ActivationProbe.exe of this build')
    parser.add_argument('--other-build', help='side-by-side: the windows-x64 build folder')
    parser.add_argument('--runs-x86', action='store_true', help='side-by-side: run the 32-bit clients')
    args = parser.parse_args()
    try:
        {'tables': test_tables, 'lifecycle': test_lifecycle, 'next': test_next, 'upgrade': test_upgrade,
         'side-by-side': test_side_by_side}[args.test](args)
    except Failure as failure:
        print(f'FAILED: {failure}')
        sys.exit(1)


if __name__ == '__main__':
    main()
