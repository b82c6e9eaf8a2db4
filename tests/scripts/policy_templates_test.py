#!/usr/bin/env python3
"""The Group Policy templates (dist/policy/ZUKcntrl.admx and its en-US and ja-JP .adml files)
against the policy values the library reads (the governed rows of ZUK_SETTINGS in
settings/setting_table.h):

- the three files are well-formed XML in the PolicyDefinitions namespace;
- every policy is a machine policy in a category the template defines, writing under
  Software\\Policies\\KORVA\\ZUKLib or its RevokedCards subkey;
- every value name the template writes is a policy value of the library, with the value's type
  (decimal for REG_DWORD, string for REG_SZ), and every policy value of the library has a policy;
- every value the template can write (enum items, enabled/disabled values, boolean and decimal
  elements) is one the library accepts for that value;
- the revoked cards are a list writing plain strings into the RevokedCards subkey;
- every $(string.X) and $(presentation.X) the template uses is defined in each .adml, each
  presentation has one control per element of its policy (by id, of the element's kind), and
  what an .adml defines beyond that is reported as a warning;
- the Japanese explanations are in Japanese;
- the Group Policy table of docs/install.md names every policy value and the RevokedCards subkey.

Then the checks are run on copies broken one way each (a table of faults): each must be caught,
with a message naming what is wrong.

Usage: policy_templates_test.py [SOURCE_TREE]   (exit code 0 only when everything passes)"""
import os
import re
import shutil
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
Q = "{%s}" % NS
POLICY_KEY = "software\\policies\\korva\\zuklib"
REVOKED_KEY = POLICY_KEY + "\\revokedcards"
ADMX = os.path.join("dist", "policy", "ZUKcntrl.admx")
LANGUAGES = ("en-US", "ja-JP")
HEADER = os.path.join("settings", "setting_table.h")
# The kinds the library reads from a REG_SZ policy value; the others are REG_DWORD.
TEXT_KINDS = {"kKindIdm", "kKindText", "kKindFile", "kKindCodes"}
COLUMNS = ("name", "field", "machine", "section", "key", "env", "governed", "kind", "bits", "default",
           "accepted", "refusal", "meaning")
GUIDE = os.path.join("docs", "install.md")
# The presentation control that shows each kind of element.
CONTROLS = {
    "enum": {"dropdownList"},
    "list": {"listBox"},
    "boolean": {"checkBox"},
    "decimal": {"decimalTextBox"},
    "longDecimal": {"longDecimalTextBox"},
    "text": {"textBox", "comboBox"},
    "multiText": {"multiTextBox"},
}
REFERENCE = re.compile(r"\$\((string|presentation)\.([^)]*)\)")
JAPANESE = re.compile("[\u3040-\u30ff\u4e00-\u9fff]")
ENGLISH = re.compile(r"[A-Za-z]+ [a-z]{2,} [a-z]{2,}")


def adml_path(language):
    return os.path.join("dist", "policy", language, "ZUKcntrl.adml")


def local(tag):
    return tag[len(Q):] if tag.startswith(Q) else tag


def split_arguments(text, start):
    """The arguments of the call whose "(" is at text[start]: a list of C expressions, adjacent
    string literals joined into one Python string; and the index after the closing ")"."""
    args, current, depth, i = [], [], 0, start + 1
    literal = None
    while i < len(text):
        c = text[i]
        if c == '"':
            j = i + 1
            while text[j] != '"':
                j += 2 if text[j] == "\\" else 1
            value = bytes(text[i + 1:j], "utf-8").decode("unicode_escape")
            literal = (literal or "") + value
            i = j + 1
            continue
        if c in "([":
            depth += 1
        elif c in ")]":
            if depth == 0:
                args.append(literal if literal is not None else "".join(current).strip())
                return args, i + 1
            depth -= 1
        elif c == "," and depth == 0:
            args.append(literal if literal is not None else "".join(current).strip())
            current, literal = [], None
            i += 1
            continue
        if literal is None:
            current.append(c)
        i += 1
    raise ValueError("unterminated row")


def setting_rows(root):
    """The rows of ZUK_SETTINGS as dicts of their columns."""
    text = open(os.path.join(root, HEADER), encoding="utf-8").read()
    table = re.search(r"#define\s+ZUK_SETTINGS\(S\)(.*?)(?:\n\s*\n|\n#|\n//)", text, re.S)
    if not table:
        raise ValueError("%s has no ZUK_SETTINGS table" % HEADER)
    body = table.group(1).replace("\\\n", " ")
    rows = []
    for match in re.finditer(r"\bS\(", body):
        args, _ = split_arguments(body, match.end() - 1)
        if len(args) != len(COLUMNS):
            raise ValueError("a row of %s has %d columns, not %d: %s" % (HEADER, len(args), len(COLUMNS), args[0]))
        rows.append(dict(zip(COLUMNS, args)))
    if not rows:
        raise ValueError("ZUK_SETTINGS in %s lists no setting" % HEADER)
    return rows


def policy_values(root):
    """{name: (type, accepted)} of the governed rows; accepted is None for any value, a set of
    words, or a (low, high) range."""
    values = {}
    for row in setting_rows(root):
        if row["governed"] != "true":
            continue
        accepted = row["accepted"]
        if accepted == "*":
            allowed = None
        elif ".." in accepted:
            low, high = accepted.split("..")
            allowed = (int(low), int(high))
        else:
            allowed = set(accepted.split())
        values[row["name"]] = ("REG_SZ" if row["kind"] in TEXT_KINDS else "REG_DWORD", allowed)
    if not values:
        raise ValueError("ZUK_SETTINGS in %s governs no setting" % HEADER)
    return values


def parse(root, path, errors):
    try:
        tree = ET.parse(os.path.join(root, path))
    except (ET.ParseError, OSError) as e:
        errors.append("%s is not well-formed XML: %s" % (path, e))
        return None
    top = tree.getroot()
    if not top.tag.startswith(Q):
        errors.append("%s: the root element %s is not in the namespace %s" % (path, top.tag, NS))
        return None
    return top


def written_value(node):
    """(kind, text) of a <value>/<enabledValue>/... child: ("decimal", "1"), ("string", "IDM"),
    ("delete", None)."""
    for child in node:
        kind = local(child.tag)
        if kind in ("decimal", "longDecimal"):
            return kind, child.get("value")
        if kind == "string":
            return kind, child.text or ""
        if kind == "delete":
            return kind, None
    return None, None


def writes_of(policy):
    """Every (key, value name, kind, value, where) the policy can write; kind "any" for a value
    the user types."""
    name = policy.get("name")
    key = policy.get("key", "")
    found = []
    value_name = policy.get("valueName")
    for tag in ("enabledValue", "disabledValue"):
        node = policy.find(Q + tag)
        if node is not None:
            kind, value = written_value(node)
            found.append((key, value_name, kind, value, "%s %s" % (name, tag)))
    for tag in ("enabledList", "disabledList"):
        for item in policy.findall("%s/%sitem" % (Q + tag, Q)):
            node = item.find(Q + "value")
            kind, value = written_value(node) if node is not None else (None, None)
            found.append((item.get("key", policy.get("key", "")), item.get("valueName"), kind, value,
                          "%s %s" % (name, tag)))
    elements = policy.find(Q + "elements")
    for element in (elements if elements is not None else []):
        kind = local(element.tag)
        ekey = element.get("key", key)
        where = "%s element %s" % (name, element.get("id"))
        ename = element.get("valueName")
        if kind == "enum":
            for item in element.findall(Q + "item"):
                node = item.find(Q + "value")
                vkind, value = written_value(node) if node is not None else (None, None)
                found.append((ekey, ename, vkind, value, where))
        elif kind == "boolean":
            for tag in ("trueValue", "falseValue"):
                node = element.find(Q + tag)
                if node is not None:
                    vkind, value = written_value(node)
                    found.append((ekey, ename, vkind, value, "%s %s" % (where, tag)))
        elif kind in ("decimal", "longDecimal"):
            low = int(element.get("minValue", "0"))
            high = int(element.get("maxValue", "9999" if kind == "decimal" else "0"))
            found.append((ekey, ename, "decimal", (low, high), where))
        elif kind in ("text", "multiText"):
            found.append((ekey, ename, "string", None, where))
    return found


def check_admx(admx, values, errors):
    """Checks the template itself; returns (strings used, presentations used with the elements
    of their policies: {presentation id: {element id: kind}})."""
    names = set()
    categories = {c.get("name") for c in admx.iter(Q + "category")}
    supported = {d.get("name") for d in admx.iter(Q + "definition")}
    prefixes = {t.get("prefix") for t in admx.iter(Q + "target")}
    if not prefixes:
        errors.append("%s defines no target namespace" % ADMX)
    for attr in ("revision", "schemaVersion"):
        if not admx.get(attr):
            errors.append("%s has no %s" % (ADMX, attr))
    for category in admx.iter(Q + "category"):
        parent = category.find(Q + "parentCategory")
        if parent is not None and ":" not in parent.get("ref") and parent.get("ref") not in categories:
            errors.append("category %s: parent %s is not defined" % (category.get("name"), parent.get("ref")))
    presentations = {}
    covered = set()
    revocation = False
    for policy in admx.iter(Q + "policy"):
        name = policy.get("name")
        if name in names:
            errors.append("policy %s is defined twice" % name)
        names.add(name)
        if policy.get("class") != "Machine":
            errors.append("policy %s: class is %r, not Machine (the library reads HKLM only)"
                          % (name, policy.get("class")))
        parent = policy.find(Q + "parentCategory")
        if parent is None or parent.get("ref") not in categories:
            errors.append("policy %s is in no category of the template" % name)
        support = policy.find(Q + "supportedOn")
        if support is not None and ":" not in support.get("ref") and support.get("ref") not in supported:
            errors.append("policy %s: supportedOn %s is not defined" % (name, support.get("ref")))
        keys = [policy.get("key", "")] + [e.get("key") for e in policy.iter() if e is not policy and e.get("key")]
        for key in keys:
            if key.lower() not in (POLICY_KEY, REVOKED_KEY):
                errors.append("policy %s writes under %s, not Software\\Policies\\KORVA\\ZUKLib or its "
                              "RevokedCards subkey" % (name, key))
        elements = {}
        for element in policy.findall("%selements/*" % Q):
            eid = element.get("id")
            if eid in elements:
                errors.append("policy %s: element id %s is used twice" % (name, eid))
            elements[eid] = local(element.tag)
            if local(element.tag) == "list":
                lkey = element.get("key", policy.get("key", ""))
                if lkey.lower() != REVOKED_KEY:
                    errors.append("policy %s: the list writes under %s, not the RevokedCards subkey"
                                  % (name, lkey))
                else:
                    revocation = True
                if element.get("expandable") == "true":
                    errors.append("policy %s: the list writes REG_EXPAND_SZ; the library reads REG_SZ" % name)
        ref = REFERENCE.fullmatch(policy.get("presentation", ""))
        if elements and not ref:
            errors.append("policy %s has elements but no presentation" % name)
        if ref:
            presentations[ref.group(2)] = (name, elements)
        for key, value_name, kind, value, where in writes_of(policy):
            if value_name is None:
                continue
            if value_name not in values:
                errors.append("%s writes %s, which is not a policy value of the library (%s)"
                              % (where, value_name, HEADER))
                continue
            if key.lower() != POLICY_KEY:
                errors.append("%s writes %s under %s, not the policy key" % (where, value_name, key))
            covered.add(value_name)
            reg_type, accepted = values[value_name]
            if kind == "delete":
                continue
            if reg_type == "REG_DWORD" and kind != "decimal":
                errors.append("%s writes %s as %s; the library reads a REG_DWORD (decimal)"
                              % (where, value_name, kind))
                continue
            if reg_type == "REG_SZ" and kind != "string":
                errors.append("%s writes %s as %s; the library reads a REG_SZ (string)"
                              % (where, value_name, kind))
                continue
            if accepted is None:
                continue
            if isinstance(value, tuple):
                low, high = value
                if isinstance(accepted, tuple):
                    if low < accepted[0] or high > accepted[1]:
                        errors.append("%s lets the user type %s from %d to %d, but the library accepts %d to %d"
                                      % (where, value_name, low, high, accepted[0], accepted[1]))
                elif high - low > 1000 or any(str(v) not in accepted for v in range(low, high + 1)):
                    errors.append("%s lets the user type %s from %d to %d, but the library accepts only %s"
                                  % (where, value_name, low, high, " ".join(sorted(accepted, key=sort_key))))
                continue
            if isinstance(accepted, tuple):
                if value is None or not value.isdigit() or not accepted[0] <= int(value) <= accepted[1]:
                    errors.append("%s writes %s = %s, which the library does not accept (accepted: %d to %d)"
                                  % (where, value_name, value, accepted[0], accepted[1]))
                continue
            if value is None:
                errors.append("%s lets the user type any %s, but the library accepts only %s"
                              % (where, value_name, " ".join(sorted(accepted))))
            elif value not in accepted:
                errors.append("%s writes %s = %s, which the library does not accept (accepted: %s)"
                              % (where, value_name, value, " ".join(sorted(accepted, key=sort_key))))
    for value_name in sorted(set(values) - covered):
        errors.append("the library's policy value %s has no policy in %s" % (value_name, ADMX))
    if not revocation:
        errors.append("%s has no list writing the RevokedCards subkey" % ADMX)
    strings = set()
    used_presentations = set()
    for node in admx.iter():
        for text in list(node.attrib.values()) + [node.text or ""]:
            for kind, ident in REFERENCE.findall(text):
                (strings if kind == "string" else used_presentations).add(ident)
    return strings, {p: presentations.get(p, ("?", {})) for p in used_presentations}


def sort_key(word):
    return (0, int(word), "") if word.isdigit() else (1, 0, word)


def check_adml(language, adml, strings, presentations, errors, warnings):
    path = adml_path(language)
    for attr in ("revision", "schemaVersion"):
        if not adml.get(attr):
            errors.append("%s has no %s" % (path, attr))
    defined = {}
    for node in adml.iter(Q + "string"):
        ident = node.get("id")
        if ident in defined:
            errors.append("%s defines the string %s twice" % (path, ident))
        defined[ident] = node.text or ""
    for ident in sorted(strings - set(defined)):
        errors.append("%s: the string %s used by the template is missing" % (path, ident))
    for ident in sorted(set(defined) - strings):
        warnings.append("%s: the string %s is not used by the template" % (path, ident))
    for ident in sorted(i for i in strings & set(defined) if not defined[i].strip()):
        errors.append("%s: the string %s is empty" % (path, ident))
    shown = {}
    for node in adml.iter(Q + "presentation"):
        ident = node.get("id")
        if ident in shown:
            errors.append("%s defines the presentation %s twice" % (path, ident))
        shown[ident] = node
    for ident in sorted(set(presentations) - set(shown)):
        errors.append("%s: the presentation %s used by the template is missing" % (path, ident))
    for ident in sorted(set(shown) - set(presentations)):
        warnings.append("%s: the presentation %s is not used by the template" % (path, ident))
    for ident in sorted(set(presentations) & set(shown)):
        policy, elements = presentations[ident]
        controls = {}
        for control in shown[ident]:
            if control.get("refId") is not None:
                controls[control.get("refId")] = local(control.tag)
        for eid in sorted(set(elements) - set(controls)):
            errors.append("%s: presentation %s shows no control for element %s of policy %s"
                          % (path, ident, eid, policy))
        for eid in sorted(set(controls) - set(elements)):
            errors.append("%s: presentation %s refers to %s, which is no element of policy %s"
                          % (path, ident, eid, policy))
        for eid in sorted(set(controls) & set(elements)):
            if controls[eid] not in CONTROLS.get(elements[eid], set()):
                errors.append("%s: presentation %s shows the %s element %s with a %s"
                              % (path, ident, elements[eid], eid, controls[eid]))
    return defined


def check_translation(english, japanese, errors):
    """Every Japanese explanation is in Japanese, and no line of a Japanese text that reads as an
    English sentence is the English text's line left as it was."""
    path = adml_path("ja-JP")
    for ident, text in sorted(japanese.items()):
        if ident.endswith("_Help") and not JAPANESE.search(text):
            errors.append("%s: the explanation %s is not in Japanese" % (path, ident))
        lines = {line.strip() for line in english.get(ident, "").splitlines()}
        for line in text.splitlines():
            if ENGLISH.search(line) and line.strip() in lines:
                errors.append("%s: %s is not in Japanese: %s" % (path, ident, line.strip()))


def check_guide(root, values, errors):
    """The Group Policy section of docs/install.md names every value a policy writes."""
    try:
        text = open(os.path.join(root, GUIDE), encoding="utf-8").read()
    except OSError as e:
        errors.append("cannot read %s: %s" % (GUIDE, e))
        return
    section = re.search(r"^## Group Policy\n(.*?)(?=^## |\Z)", text, re.S | re.M)
    if not section:
        errors.append("%s has no \"## Group Policy\" section" % GUIDE)
        return
    for name in sorted(values) + ["RevokedCards"]:
        if "`%s`" % name not in section.group(1):
            errors.append("the Group Policy section of %s does not name `%s`" % (GUIDE, name))


def check_tree(root):
    """(errors, warnings) of the templates in the source tree root."""
    errors, warnings = [], []
    try:
        values = policy_values(root)
    except (OSError, ValueError) as e:
        return ["cannot read the library's policy values: %s" % e], warnings
    check_guide(root, values, errors)
    admx = parse(root, ADMX, errors)
    admls = {lang: parse(root, adml_path(lang), errors) for lang in LANGUAGES}
    if admx is None:
        return errors, warnings
    minimum = admx.find(Q + "resources")
    strings, presentations = check_admx(admx, values, errors)
    texts = {}
    for language, adml in admls.items():
        if adml is None:
            continue
        if minimum is not None and float(adml.get("revision", "0")) < float(minimum.get("minRequiredRevision", "0")):
            errors.append("%s: revision %s is below the template's minRequiredRevision %s"
                          % (adml_path(language), adml.get("revision"), minimum.get("minRequiredRevision")))
        texts[language] = check_adml(language, adml, strings, presentations, errors, warnings)
    if "en-US" in texts and "ja-JP" in texts:
        check_translation(texts["en-US"], texts["ja-JP"], errors)
    return errors, warnings


# Faults the checks must catch: (what, file, text replaced, replacement, words the message names).
BROKEN = [
    ("an enum item the library does not accept", ADMX,
     '<decimal value="768"/>', '<decimal value="512"/>', ["Mode = 512", "does not accept"]),
    ("an enabled value the library does not accept", ADMX,
     '<enabledValue><decimal value="1"/></enabledValue>\n      <disabledValue><decimal value="0"/></disabledValue>\n    </policy>\n    <policy name="StrictLink"',
     '<enabledValue><decimal value="2"/></enabledValue>\n      <disabledValue><decimal value="0"/></disabledValue>\n    </policy>\n    <policy name="StrictLink"',
     ["Unattended = 2"]),
    ("a Config group value outside its group", ADMX,
     '<decimal value="61440"/>', '<decimal value="4096"/>', ["ConfigReuseBlock = 4096"]),
    ("a string where the library reads a number", ADMX,
     '<decimal value="3"/></value></item>\n        </enum>\n      </elements>\n    </policy>\n    <policy name="ConfigRememberItems"',
     '<string>3</string></value></item>\n        </enum>\n      </elements>\n    </policy>\n    <policy name="ConfigRememberItems"',
     ["ConfigInputItems as string", "REG_DWORD"]),
    ("a number where the library reads a string", ADMX,
     "<string>IDM</string>", '<decimal value="1"/>', ["FeliCa as decimal", "REG_SZ"]),
    ("a FeliCa text in the wrong case", ADMX,
     "<string>NONE</string>", "<string>None</string>", ["FeliCa = None"]),
    ("a misspelt value name", ADMX,
     'valueName="LogMode"', 'valueName="LogLevel"', ["LogLevel, which is not a policy value", "LogMode has no policy"]),
    ("a policy under another key", ADMX,
     'key="Software\\Policies\\KORVA\\ZUKLib">\n      <parentCategory ref="ZUKcntrl"/>\n      <supportedOn ref="SUPPORTED_ZUKcntrl_Policies"/>\n      <elements>\n        <enum id="Device"',
     'key="Software\\Policies\\KORVA\\ZUKcntrl">\n      <parentCategory ref="ZUKcntrl"/>\n      <supportedOn ref="SUPPORTED_ZUKcntrl_Policies"/>\n      <elements>\n        <enum id="Device"',
     ["policy Device writes under Software\\Policies\\KORVA\\ZUKcntrl"]),
    ("a user policy", ADMX, 'name="Mode" class="Machine"', 'name="Mode" class="User"', ["policy Mode: class is 'User'"]),
    ("the revoked cards in the policy key itself", ADMX,
     'key="Software\\Policies\\KORVA\\ZUKLib\\RevokedCards" valuePrefix',
     'key="Software\\Policies\\KORVA\\ZUKLib" valuePrefix', ["the list writes under", "no list writing the RevokedCards"]),
    ("a policy value of the library without a policy", HEADER,
     '    S(LogMode, LogMode,',
     '    S(TraceFolder, LogFileName, "", "Log", "Folder", "", true, kKindText, 0, "", "*", kRegistryConfigOk, "x") \\\n'
     '    S(LogMode, LogMode,',
     ["TraceFolder has no policy"]),
    ("a decimal range wider than the library accepts", ADMX,
     'minValue="1" maxValue="60000"', 'minValue="0" maxValue="60000"', ["PollingInterval from 0 to 60000"]),
    ("a policy value the guide leaves out", GUIDE,
     "| `ConfigReuseBlock` (DWORD)", "| `ConfigReuse` (DWORD)", ["install.md does not name `ConfigReuseBlock`"]),
    ("a value the library no longer accepts", HEADER, '"0 1 3", kRegistryConfigOk', '"0 1", kRegistryConfigOk',
     ["LogMode = 3"]),
    ("not well-formed XML", ADMX, "</categories>", "</category>", ["ZUKcntrl.admx is not well-formed"]),
    ("a missing English string", adml_path("en-US"),
     '<string id="Mode_Help">', '<string id="Mode_Hlp">', ["en-US", "string Mode_Help", "missing"]),
    ("a missing Japanese enum item text", adml_path("ja-JP"),
     '<string id="LogMode_All">', '<string id="LogMode_Every">', ["ja-JP", "string LogMode_All", "missing"]),
    ("a missing presentation", adml_path("ja-JP"),
     '<presentation id="RevokedCards">', '<presentation id="Revoked">', ["ja-JP", "presentation RevokedCards", "missing"]),
    ("a control for an element the policy does not have", adml_path("en-US"),
     '<dropdownList refId="LogMode"', '<dropdownList refId="LogModes"', ["en-US", "no control for element LogMode", "refers to LogModes"]),
    ("a control of the wrong kind", adml_path("ja-JP"),
     '<listBox refId="RevokedCards">失効したカード (IDm):</listBox>', '<textBox refId="RevokedCards"><label>IDm</label></textBox>',
     ["ja-JP", "list element RevokedCards with a textBox"]),
    ("an untranslated Japanese explanation", adml_path("ja-JP"),
     '<string id="Device_Help">カードリーダーを使うかどうかを指定します。', '<string id="Device_Help">Whether a card reader is used.',
     ["Device_Help is not in Japanese: Whether a card reader is used."]),
    ("an element without a presentation", ADMX,
     'presentation="$(presentation.LogMode)" ', "", ["policy LogMode has elements but no presentation"]),
]


def copy_tree(root, target):
    for path in [ADMX, HEADER, GUIDE] + [adml_path(lang) for lang in LANGUAGES]:
        os.makedirs(os.path.join(target, os.path.dirname(path)), exist_ok=True)
        shutil.copyfile(os.path.join(root, path), os.path.join(target, path))


def check_broken_copies(root):
    """The faults of BROKEN, each in its own copy: each must be caught; returns the failures."""
    failures = 0
    with tempfile.TemporaryDirectory(prefix="policy-templates-") as work:
        for number, (what, path, old, new, words) in enumerate(BROKEN):
            copy = os.path.join(work, str(number))
            copy_tree(root, copy)
            with open(os.path.join(copy, path), encoding="utf-8") as f:
                text = f.read()
            if text.count(old) != 1:
                print("FAIL: broken copy '%s': %r is in %s %d times, not once" % (what, old, path, text.count(old)))
                failures += 1
                continue
            with open(os.path.join(copy, path), "w", encoding="utf-8") as f:
                f.write(text.replace(old, new))
            errors, _ = check_tree(copy)
            missing = [w for w in words if not any(w in e for e in errors)]
            if not errors or missing:
                print("FAIL: broken copy '%s' not caught as expected (no message with %s); messages: %s"
                      % (what, missing, errors))
                failures += 1
            else:
                print("ok: broken copy caught: %s (%s)" % (what, errors[0]))
    return failures


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    errors, warnings = check_tree(root)
    for warning in warnings:
        print("warning: %s" % warning)
    for error in errors:
        print("FAIL: %s" % error)
    if errors:
        print("%d fault(s) in the Group Policy templates" % len(errors))
        return 1
    print("ok: the Group Policy templates match %s" % HEADER)
    failures = check_broken_copies(root)
    if failures:
        print("%d broken copy check(s) failed" % failures)
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
