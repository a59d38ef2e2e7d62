"""Authenticode signing as a publisher does it after building: a throw-away
certificate made with openssl, osslsigncode to sign and to verify. Used by
the host test of signed self-extractors and by the Wine runs of them."""
import os
import struct
import subprocess


class SigningError(Exception):
    pass


def _run(args, what):
    r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if r.returncode != 0:
        raise SigningError("%s failed (exit %d): %s" % (what, r.returncode, r.stdout.decode("utf-8", "replace")))
    return r.stdout.decode("utf-8", "replace")


def certificate_table(path):
    """(file offset, size) of the certificate table from the PE header's
    security directory; (0, 0) for an unsigned program."""
    data = open(path, "rb").read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    directories = pe + 24 + (96 if magic == 0x10B else 112)
    return struct.unpack_from("<II", data, directories + 4 * 8)


def sign(program, signed, workdir):
    """Signs program into signed with a new self-signed certificate and checks
    that osslsigncode verifies the result against it."""
    os.makedirs(workdir, exist_ok=True)
    key = os.path.join(workdir, "key.pem")
    cert = os.path.join(workdir, "cert.pem")
    _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
          "-days", "2", "-subj", "/CN=Tarvolin Testsignatur"], "openssl req")
    if os.path.exists(signed):
        os.unlink(signed)
    _run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Tarvolin Self Extractor",
          "-in", program, "-out", signed], "osslsigncode sign")
    text = _run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed], "osslsigncode verify")
    if "Signature verification: ok" not in text:
        raise SigningError("osslsigncode verify did not report a good signature: " + text)
    # The signature sits behind everything that was there, archive included.
    offset, size = certificate_table(signed)
    if offset < os.path.getsize(program) or offset + size != os.path.getsize(signed):
        raise SigningError("the certificate table (%d bytes at %d) is not at the end of the %d-byte program"
                           % (size, offset, os.path.getsize(signed)))
