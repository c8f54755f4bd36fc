#!/usr/bin/python3
# make_certs.py DIR: throwaway certificates for the TLS tests, made afresh for every run.
#   ca.pem                   the test CA the client is told to trust (SSL_CERT_FILE)
#   good.pem, good.key       localhost and 127.0.0.1, signed by the CA
#   other.pem, other.key     another host name only, signed by the CA
#   expired.pem, expired.key localhost and 127.0.0.1, signed by the CA, expired yesterday
#   stranger.pem, stranger.key  localhost and 127.0.0.1, signed by a CA nobody trusts
#   self.pem, self.key       localhost and 127.0.0.1, signed by itself
import datetime
import ipaddress
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID

folder = sys.argv[1]
now = datetime.datetime.now(datetime.timezone.utc)
day = datetime.timedelta(days=1)


def name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])


def certificate(subject, key, issuer, issuer_key, names, start, end, is_ca):
    builder = (x509.CertificateBuilder().subject_name(name(subject)).issuer_name(name(issuer))
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(start).not_valid_after(end)
               .add_extension(x509.BasicConstraints(ca=is_ca, path_length=None), critical=True))
    if names:
        builder = builder.add_extension(x509.SubjectAlternativeName(names), critical=False)
    if is_ca:
        builder = builder.add_extension(
            x509.KeyUsage(False, False, False, False, False, True, True, False, False), critical=True)
    return builder.sign(issuer_key, hashes.SHA256())


def write(stem, cert, key=None):
    with open("%s/%s.pem" % (folder, stem), "wb") as out:
        out.write(cert.public_bytes(serialization.Encoding.PEM))
    if key:
        with open("%s/%s.key" % (folder, stem), "wb") as out:
            out.write(key.private_bytes(serialization.Encoding.PEM,
                                        serialization.PrivateFormat.PKCS8,
                                        serialization.NoEncryption()))


def new_key():
    return ec.generate_private_key(ec.SECP256R1())


local = [x509.DNSName("localhost"), x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]
ca_key = new_key()
write("ca", certificate("Lumivex test CA", ca_key, "Lumivex test CA", ca_key, None,
                        now - day, now + 2 * day, True))
stranger_ca_key = new_key()
for stem, names, start, end, signer, signer_key in (
        ("good", local, now - day, now + 2 * day, "Lumivex test CA", ca_key),
        ("other", [x509.DNSName("other.invalid")], now - day, now + 2 * day, "Lumivex test CA",
         ca_key),
        ("expired", local, now - 3 * day, now - day, "Lumivex test CA", ca_key),
        ("stranger", local, now - day, now + 2 * day, "Stranger CA", stranger_ca_key)):
    key = new_key()
    write(stem, certificate("localhost", key, signer, signer_key, names, start, end, False), key)
self_key = new_key()
write("self", certificate("localhost", self_key, "localhost", self_key, local, now - day,
                          now + 2 * day, False), self_key)
print("ready 0", flush=True)
