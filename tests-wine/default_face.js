// A script client of the registered module: creates the class by its program
// identifier and shows that the object a script gets, the class's default
// interface _CTivOrvantaZNA100, has no members. IServer's operations are not
// reachable this way; a script sees "Object doesn't support this property or
// method" (0x800A01B6) for each of them.
//
//   cscript //nologo default_face.js      exit code: number of failed checks

var passed = 0;
var failed = 0;

function report(ok, what) {
    WScript.Echo((ok ? "PASS: " : "FAIL: ") + what);
    if (ok) passed++; else failed++;
}

function hex(n) {
    return "0x" + (n >>> 0).toString(16).toUpperCase();
}

// Runs f; the error it raised, or null when it raised none.
function failure_of(f) {
    try {
        f();
    } catch (e) {
        return e;
    }
    return null;
}

function expect_runtime_error(what, f, code) {
    var e = failure_of(f);
    if (e === null) {
        report(false, what + ": succeeded, expected runtime error " + code);
        return;
    }
    var ok = (e.number & 0xFFFF) == code && (e.number >>> 16) == 0x800A;
    report(ok, what + ": " + hex(e.number) + " " + e.description);
}

var progid = "TivOrvantaZNA100.CTivOrvantaZNA100";
var obj = null;
var creation = failure_of(function () { obj = new ActiveXObject(progid); });
report(creation === null && obj !== null && typeof obj == "object",
       "new ActiveXObject(\"" + progid + "\")" + (creation === null ? "" : ": " + hex(creation.number)));

if (obj !== null) {
    // 438: Object doesn't support this property or method. Each member,
    // called as a script calls it.
    var kNoSuchMember = 438;
    var guid1 = "{E2657B80-7F5B-11d2-BF88-00C04F79999C}";
    var guid2 = "{E2657B7F-7F5B-11d2-BF88-00C04F79999C}";
    expect_runtime_error("obj.Name()", function () { return obj.Name(); }, kNoSuchMember);
    expect_runtime_error("obj.ReleaseNumber()", function () { return obj.ReleaseNumber(); }, kNoSuchMember);
    expect_runtime_error("obj.Description()", function () { return obj.Description(); }, kNoSuchMember);
    expect_runtime_error("obj.ServerGUID()", function () { return obj.ServerGUID(); }, kNoSuchMember);
    expect_runtime_error("obj.ServerCategory()", function () { return obj.ServerCategory(); }, kNoSuchMember);
    expect_runtime_error("obj.DefaultComponents()", function () { return obj.DefaultComponents(); },
                         kNoSuchMember);
    expect_runtime_error("obj.GetMaximumLimit(guid, flag)",
                         function () { return obj.GetMaximumLimit(guid1, false); }, kNoSuchMember);
    expect_runtime_error("obj.IsAttachable(parent, attachment)",
                         function () { return obj.IsAttachable(guid1, guid2); }, kNoSuchMember);
    expect_runtime_error("obj.GetAttachableGUIDs(parent)",
                         function () { return obj.GetAttachableGUIDs(guid1); }, kNoSuchMember);

    // The message the runtime gives for it.
    var e = failure_of(function () { return obj.Name(); });
    report(e !== null && /doesn't support this property or method/i.test(e.description),
           "the message for obj.Name() reads \"" + (e === null ? "" : e.description) + "\"");

    // Read as properties, the four identity members give nothing either:
    // the script engine raises 438, or (Wine's engine) reads an unknown
    // property as undefined. The server's text never comes through.
    var properties = ["Name", "ReleaseNumber", "Description", "ServerGUID"];
    for (var i = 0; i < properties.length; i++) {
        var name = properties[i];
        var value;
        var read = failure_of(function () { value = obj[name]; });
        if (read === null) {
            report(typeof value == "undefined", "obj." + name + " reads as " + typeof value);
        } else {
            report((read.number & 0xFFFF) == kNoSuchMember,
                   "obj." + name + ": " + hex(read.number) + " " + read.description);
        }
    }
}

// A control: a program identifier nobody registered cannot be created (429).
expect_runtime_error("new ActiveXObject(\"TivOrvantaZNA100.NoSuchClass\")",
                     function () { return new ActiveXObject("TivOrvantaZNA100.NoSuchClass"); }, 429);

obj = null;
WScript.Echo("default_face.js: " + passed + " passed, " + failed + " failed");
WScript.Quit(failed);
