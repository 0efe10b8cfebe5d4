// A throw-away certificate for the loopback HTTPS listener.
#pragma once

#include <openssl/ssl.h>

#include <string>

namespace melodrin::testing {

// Makes an EC P-256 key and a self-signed certificate for 127.0.0.1
// (subjectAltName IP:127.0.0.1 and DNS:localhost) and loads both into a new
// server context. Returns nullptr on failure; pem receives the certificate.
SSL_CTX* make_server_context(std::string& pem);

}  // namespace melodrin::testing
