#!/usr/bin/python3
# make_certs.py DIR: throwaway certificates for the TLS tests, made afresh for every run, and
# "ready 0" when done. ca.pem is the test CA the client is told to trust. NAME.pem and NAME.key:
# good (localhost and 127.0.0.1, signed by the CA), other (another name only), expired (expired
# yesterday), stranger (signed by a CA nobody trusts), self (signed by itself).
import datetime
import ipaddress
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID

now = datetime.datetime.now(datetime.timezone.utc)
day = datetime.timedelta(days=1)
local = [x509.DNSName("localhost"), x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]


def make(stem, names, signer, start=now - day, end=now + 2 * day, is_ca=False):
    """Writes DIR/stem.pem and .key; signer is (name, key) or None for a self-signed one."""
    key = ec.generate_private_key(ec.SECP256R1())
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, stem)])
    issuer, issuer_key = signer or (subject, key)
    builder = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(start).not_valid_after(end)
               .add_extension(x509.BasicConstraints(ca=is_ca, path_length=None), critical=True))
    if names:
        builder = builder.add_extension(x509.SubjectAlternativeName(names), critical=False)
    with open("%s/%s.pem" % (sys.argv[1], stem), "wb") as out:
        out.write(builder.sign(issuer_key, hashes.SHA256()).public_bytes(serialization.Encoding.PEM))
    with open("%s/%s.key" % (sys.argv[1], stem), "wb") as out:
        out.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                    serialization.NoEncryption()))
    return subject, key


ca = make("ca", None, None, is_ca=True)
stranger_ca = make("stranger-ca", None, None, is_ca=True)
make("good", local, ca)
make("other", [x509.DNSName("other.invalid")], ca)
make("expired", local, ca, now - 3 * day, now - day)
make("stranger", local, stranger_ca)
make("self", local, None)
print("ready 0", flush=True)
