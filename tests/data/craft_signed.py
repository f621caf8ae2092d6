#!/usr/bin/python3
"""Makes the signed packages of the tests from lo_ascii.xlsx: the layout an
office suite writes for a digital signature (an origin part related from the
package, a signature part related from the origin, a manifest of references),
with digests and a signature value that are placeholders: the tool never
checks a signature, it only finds what one covers.

    signed_properties.xlsx     the signature covers the package relationships,
                               both property parts and the workbook
    signed_content_only.xlsx   the signature covers the workbook part only
"""
import os
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
DSIG = "http://www.w3.org/2000/09/xmldsig#"
RELS_CT = "application/vnd.openxmlformats-package.relationships+xml"


def reference(uri):
    return (f'<Reference URI="{uri}"><DigestMethod Algorithm="http://www.w3.org/2001/04/xmlenc#sha256"/>'
            '<DigestValue>AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=</DigestValue></Reference>')


def signature(uris):
    manifest = "".join(reference(u) for u in uris)
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
            f'<Signature xmlns="{DSIG}" Id="idPackageSignature"><SignedInfo>'
            '<CanonicalizationMethod Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/>'
            '<SignatureMethod Algorithm="http://www.w3.org/2001/04/xmldsig-more#rsa-sha256"/>'
            '<Reference Type="http://www.w3.org/2000/09/xmldsig#Object" URI="#idPackageObject">'
            '<DigestMethod Algorithm="http://www.w3.org/2001/04/xmlenc#sha256"/><DigestValue>AAAA</DigestValue>'
            '</Reference></SignedInfo><SignatureValue>AAAA</SignatureValue>'
            f'<Object Id="idPackageObject"><Manifest>{manifest}</Manifest></Object></Signature>')


def add(archive, name, data):
    # A fixed time, so the files come out the same on every run.
    archive.writestr(zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0)), data, zipfile.ZIP_DEFLATED)


def craft(out_name, uris):
    src = zipfile.ZipFile(os.path.join(HERE, "lo_ascii.xlsx"))
    with zipfile.ZipFile(os.path.join(HERE, out_name), "w", zipfile.ZIP_DEFLATED) as out:
        for info in src.infolist():
            data = src.read(info.filename)
            if info.filename == "[Content_Types].xml":
                data = data.replace(b"</Types>",
                                    b'<Default Extension="sigs" ContentType="application/'
                                    b'vnd.openxmlformats-package.digital-signature-origin"/>'
                                    b'<Override PartName="/_xmlsignatures/sig1.xml" ContentType="application/'
                                    b'vnd.openxmlformats-package.digital-signature-xmlsignature+xml"/></Types>')
            elif info.filename == "_rels/.rels":
                data = data.replace(b"</Relationships>",
                                    b'<Relationship Id="rIdSig" Type="http://schemas.openxmlformats.org/package/'
                                    b'2006/relationships/digital-signature/origin" '
                                    b'Target="_xmlsignatures/origin.sigs"/></Relationships>')
            out.writestr(info, data)
        add(out, "_xmlsignatures/origin.sigs", b"")
        add(out, "_xmlsignatures/_rels/origin.sigs.rels",
                     '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
                     '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                     '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/package/2006/relationships/'
                     'digital-signature/signature" Target="sig1.xml"/></Relationships>')
        add(out, "_xmlsignatures/sig1.xml", signature(uris))


craft("signed_properties.xlsx", [
    f"/_rels/.rels?ContentType={RELS_CT}",
    "/docProps/core.xml?ContentType=application/vnd.openxmlformats-package.core-properties+xml",
    "/docProps/app.xml?ContentType=application/vnd.openxmlformats-officedocument.extended-properties+xml",
    "/xl/workbook.xml?ContentType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
])
craft("signed_content_only.xlsx", [
    "/xl/workbook.xml?ContentType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
])
