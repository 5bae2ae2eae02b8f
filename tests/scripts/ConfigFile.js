// A late-bound JScript client of ConfigFile and the reference tag server.
// usage: cscript //nologo ConfigFile.js <scratch folder>
var failures = 0;

function check(name, actual, expected) {
    if (actual !== expected) {
        WScript.Echo("MISMATCH " + name + ": got [" + actual + "], expected [" + expected + "]");
        failures++;
    }
}

// The error a call throws as "number|description", or "".
function errorOf(call) {
    try {
        call();
    } catch (e) {
        return (e.number < 0 ? e.number + 0x100000000 : e.number).toString(16).toUpperCase() + "|" + e.description;
    }
    return "";
}

var fso = new ActiveXObject("Scripting.FileSystemObject");
var folder = WScript.Arguments(0);
if (!fso.FolderExists(folder)) fso.CreateFolder(folder);
var path = folder + "\\jscript.cfg";
if (fso.FileExists(path)) fso.DeleteFile(path);

var config = new ActiveXObject("Brenlow.Zandel.Quorvex3.ConfigFile");
check("IsOpen and Path of a new object", config.IsOpen + "|" + config.Path, "false|");
// JScript has no null object reference: any object stands for the tag server and collection.
check("Read when closed", errorOf(function () { config.Read(fso, fso); }),
      "80040401|Cannot read/write file because it has not been opened.");
check("read-only Open of a missing file", errorOf(function () { config.Open(path, 1); }).indexOf("80070002|0x80070002"), 0);

var server = new ActiveXObject("Quorvex3.TagServer");
var tags = server.CreateTags();
tags.Add("0001.0002.0003.0004", "say hi");
tags.Add("0001.0002.0003.0005", 42);
config.Open(path, 0);
check("IsOpen and Path after a read-write Open", config.IsOpen + "|" + config.Path, "true|" + path);
config.Write(tags);
config.Close();

// A collection passed from JScript is by value: it is filled all the same.
var loaded = server.CreateTags();
config.Open(path, 1);
config.Read(server, loaded);
config.Close();
check("tags read back", loaded.Count, 2);
if (loaded.Count == 2) {
    check("text", loaded.Item(0).Value, "say hi");
    check("a number comes back as its text", loaded.Item("0001.0002.0003.0005").Value, "42");
}

config = null;
CollectGarbage();
fso.DeleteFile(path);
if (failures > 0) WScript.Quit(1);
WScript.Echo("all checks passed");
