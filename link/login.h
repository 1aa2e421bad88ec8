// Texts and tokens of the log-in.
#pragma once
#include <cstdint>
#include <string>

// The "reg" request.
std::string RegText(const std::string& id, const std::string& username, const std::string& password,
                    int keepalive, const std::string& zip, const std::string& ver);
// `TIDB` from the "tid" text: zero unless it has 36 characters.
void TidToBytes(const std::string& tid, uint8_t out[16]);
