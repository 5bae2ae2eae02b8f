// A ConfigFile object driven by late binding from JScript.
// usage: cscript //nologo ConfigFile.js <scratch folder>
var PROG_ID = "Brenlow.Zandel.Quorvex3.ConfigFile";
var failures = 0;

function check(name, actual, expected) {
    if (actual !== expected) {
        WScript.Echo("MISMATCH " + name + ": got [" + actual + "], expected [" + expected + "]");
        failures++;
    }
}

// The error a call throws, or null.
function errorOf(call) {
    try {
        call();
    } catch (e) {
        return e;
    }
    return null;
}

function hex(number) {
    return (number < 0 ? number + 0x100000000 : number).toString(16).toUpperCase();
}

var fso = new ActiveXObject("Scripting.FileSystemObject");
var folder = WScript.Arguments(0);
if (!fso.FolderExists(folder)) fso.CreateFolder(folder);
var path = folder + "\\jscript.cfg";
var missing = folder + "\\jscript-missing.cfg";
if (fso.FileExists(path)) fso.DeleteFile(path);
if (fso.FileExists(missing)) fso.DeleteFile(missing);

var config = new ActiveXObject(PROG_ID);
check("IsOpen of a new object", config.IsOpen, false);
check("Path of a new object", config.Path, "");

config.Open(path, 0);
check("IsOpen after a read-write Open", config.IsOpen, true);
check("Path after Open", config.Path, path);
check("read-write Open creates the file", fso.FileExists(path), true);
config.Close();
check("IsOpen and Path after Close", config.IsOpen + "|" + config.Path, "false|");

var e = errorOf(function () { config.Open(missing, 1); });
check("Open of a missing file throws", e !== null, true);
if (e) {
    check("number of a read-only Open of a missing file", hex(e.number), "80070002");
    check("description starts with the HRESULT", e.description.indexOf("0x80070002"), 0);
}
check("IsOpen after the failed Open", config.IsOpen, false);

// JScript has no null object reference: any object stands for the tag server and collection.
e = errorOf(function () { config.Read(fso, fso); });
check("Read when closed throws", e !== null, true);
if (e) {
    check("number of Read when closed", hex(e.number), "80040401");
    check("description of Read", e.description, "Cannot read/write file because it has not been opened.");
}

config = null;
CollectGarbage();
fso.DeleteFile(path);
if (failures > 0) WScript.Quit(1);
WScript.Echo("all checks passed");
