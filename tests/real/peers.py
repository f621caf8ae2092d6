"""What the outside programs the checks lean on can do, tried once before a
check uses them: a program that lacks a piece (a Perl module, an office
component) is named in one line, instead of showing as hundreds of value
mismatches.

Each function gives None when the ability is there, else the one line that
names the missing piece and the Debian package that brings it."""
import json
import os
import shutil
import subprocess
import tempfile
import sys
import zipfile


def _absent(what):
    """Something a check needs is absent: a skip (77), or under CI a failure
    (1), since there it is a missing install step."""
    if os.environ.get("CI") == "true":
        print("FAIL: %s" % what)
        return 1
    print("%s: skipped" % what)
    return 77


def tool_missing(what):
    return _absent("%s is not installed" % what)


def corpus_missing(folder):
    """None when the real-file folder is there."""
    return None if os.path.isdir(folder) else _absent("the real files are missing: %s" % folder)


def crippled(reason):
    """A program that is there but can't do what the check asks of it."""
    print("FAIL: " + reason)
    sys.stdout.flush()
    return 1

_CORE = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
         '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties"'
         ' xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>peer check</dc:title></cp:coreProperties>')
_TYPES = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
          '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
          '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
          '<Override PartName="/docProps/core.xml"'
          ' ContentType="application/vnd.openxmlformats-package.core-properties+xml"/></Types>')
_RELS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
         '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
         '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/'
         'core-properties" Target="docProps/core.xml"/></Relationships>')


def exiftool_reads_packages(exiftool):
    """exiftool reads a package's properties only through Perl's
    Archive::Zip, which Debian merely recommends."""
    tmp = tempfile.mkdtemp(prefix="qv-peer-")
    try:
        path = os.path.join(tmp, "peer.docx")
        with zipfile.ZipFile(path, "w") as z:
            z.writestr("[Content_Types].xml", _TYPES)
            z.writestr("_rels/.rels", _RELS)
            z.writestr("docProps/core.xml", _CORE)
        p = subprocess.run([exiftool, "-j", "-Title", path], capture_output=True, timeout=120)
        try:
            title = json.loads(p.stdout.decode("utf-8", "replace"))[0].get("Title")
        except (ValueError, IndexError, AttributeError):
            title = None
        if title != "peer check":
            return "exiftool can't read ZIP packages: install libarchive-zip-perl"
        return None
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


# A flat document of each component, and the package that brings it.
_FLAT = {
    "fods": ("spreadsheet", "csv", "libreoffice-calc-nogui",
             '<office:body><office:spreadsheet><table:table table:name="A"><table:table-row>'
             '<table:table-cell office:value-type="string"><text:p>peer</text:p></table:table-cell>'
             '</table:table-row></table:table></office:spreadsheet></office:body>'),
    "fodt": ("text", "fodt", "libreoffice-writer-nogui",
             '<office:body><office:text><text:p>peer</text:p></office:text></office:body>'),
    "fodp": ("presentation", "fodp", "libreoffice-impress-nogui",
             '<office:body><office:presentation><draw:page draw:name="A"/></office:presentation></office:body>'),
}
_FLAT_HEAD = ('<?xml version="1.0" encoding="UTF-8"?><office:document'
              ' xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"'
              ' xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"'
              ' xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"'
              ' xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"'
              ' office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.%s">')


def soffice_converts(soffice, kinds=("fods", "fodt", "fodp"), env=None):
    """LibreOffice converts a document of each component the checks use:
    Calc, Writer and Impress come in packages of their own."""
    tmp = tempfile.mkdtemp(prefix="qv-peer-lo-")
    try:
        profile = os.path.join(tmp, "profile")
        for kind in kinds:
            media, target, package, body = _FLAT[kind]
            src = os.path.join(tmp, "peer-%s.%s" % (media, kind))
            with open(src, "w", encoding="utf-8") as f:
                f.write(_FLAT_HEAD % media + body + "</office:document>")
            out = os.path.join(tmp, "out-" + kind)
            try:
                subprocess.run([soffice, "-env:UserInstallation=file://" + profile, "--headless",
                                "--convert-to", target, "--outdir", out, src],
                               timeout=300, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
            except subprocess.SubprocessError:
                pass
            result = os.path.join(out, "peer-%s.%s" % (media, target))
            if not os.path.exists(result) or os.path.getsize(result) == 0:
                return "LibreOffice can't convert a %s document: install %s" % (media, package)
        return None
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
