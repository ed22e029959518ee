// Runs a throwaway Dovecot server (the test fixture's: 127.0.0.1 only, its own certificate
// and mail home) for the upload benchmark. Prints one line, "PORT FINGERPRINT CERTIFICATE
// MAILDIR" (the plain port, which offers STARTTLS), then serves until standard input ends.
#include "DovecotServer.h"

#include <exception>
#include <iostream>
#include <string>

int main() {
    try {
        brindle::test::TDovecotServer server;
        server.Start();
        std::cout << server.ImapPort() << ' ' << server.CertificateFingerprint() << ' ' << server.CertificateFile()
                  << ' ' << server.MailDir("alice") << std::endl;
        std::string line;
        while (std::getline(std::cin, line)) {
        }
        server.Stop();
    } catch (const std::exception& error) {
        std::cerr << "brindle-bench-dovecot: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
