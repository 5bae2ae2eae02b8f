// Late-bound use of the reference tag server, as a JScript client sees it.
// Prints every mismatch and ends with exit code 1 when there was any.
var failures = 0;

function check(name, actual, expected) {
    if (actual !== expected) {
        WScript.Echo("FAIL " + name + ": got [" + actual + "] (" + typeof actual +
                     "), expected [" + expected + "] (" + typeof expected + ")");
        failures++;
    }
}

function listing(collection) {
    var text = "";
    for (var e = new Enumerator(collection); !e.atEnd(); e.moveNext()) {
        var tag = e.item();
        text += tag.ID + "=" + (tag.Value === undefined ? "" : tag.Value) + ";";
    }
    return text;
}

var server = new ActiveXObject("Quorvex3.TagServer");
var tags = server.CreateTags();
check("a new collection is empty", tags.Count, 0);

tags.Add("0001.0002.0003.0004", "first");
tags.Add("0001.0002.0003.0005", 2.5);
tags.Add("0001.0002.0003.0004", "replaced");
check("an existing ID is replaced, not added", tags.Count, 2);
check("Enumerator in insertion order", listing(tags), "0001.0002.0003.0004=replaced;0001.0002.0003.0005=2.5;");
check("Item by index", tags.Item(1).ID, "0001.0002.0003.0005");
check("Item by ID", tags.Item("0001.0002.0003.0004").Value, "replaced");

var added = tags.Add("0002.0000.0000.0000", "returned");
check("Add returns the tag", added.ID, "0002.0000.0000.0000");
added.Value = "through the returned tag";
check("the returned tag is the collection's", tags.Item(2).Value, "through the returned tag");

var source = server.CreateTags();
source.Add("00FF.0000.0000.0000", "x");
tags.BeginUpdate();
tags.Update(source);
tags.EndUpdate();
check("Update takes the source's tags", listing(tags), "00FF.0000.0000.0000=x;");

check("default TagSpec version", tags.Database.TagSpecVersion, "1.0.0");
tags.Database.TagSpecVersion = "2.0.1";
check("the database is the server's", server.Database.TagSpecVersion, "2.0.1");

var failedWith = 0;
try {
    tags.Item(99);
} catch (error) {
    failedWith = error.number;
}
check("index out of range fails with E_INVALIDARG", failedWith, 0x80070057 - 0x100000000);

if (failures > 0) {
    WScript.Echo(failures + " check(s) failed");
    WScript.Quit(1);
}
WScript.Echo("all tag server checks passed");
