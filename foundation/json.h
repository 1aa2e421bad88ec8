// Flat JSON text routines and byte/text converters. Messages are built by
// concatenation and read by key search; nothing is parsed into a tree. Every
// routine reads only inside its input and never throws.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Escapes '"', '\' and '/' with a backslash; every other byte is copied.
std::string JSONString(std::string_view text);
// The value of the first occurrence of "key": (or "key" :) anywhere in the
// message; strings unescaped, objects and arrays without their brackets.
std::string GetValueFromJSON(std::string_view message, std::string_view key);
// Takes the first member off the front of text.
bool GetFirstValueFromJSON(std::string& text, std::string& key, std::string& value);
// Takes the first bracketed element (with its brackets) off the front of text.
void GetFirstMasFromJSON(std::string& text, std::string& element);

// Copies the text's bytes into out (exactly its length); empty text leaves out untouched.
void StrToBytes(std::string_view text, Bytes& out);
std::string BytesToHex(const uint8_t* data, size_t size);
inline std::string BytesToHex(const Bytes& b) { return BytesToHex(b.data(), b.size()); }
// One byte per whole digit pair; a pair that is not hexadecimal gives 0.
void HexToBytes(std::string_view hex, Bytes& out);
// A new GUID: 36 upper-case characters without braces; empty on failure.
std::string CGuid();
// Base64 of a file's bytes; empty when the file does not exist or cannot be read.
std::string FileToBase64(const std::string& path);
// Base64 of the bytes from pos to the end.
std::string StreamToBase64(const Bytes& stream, size_t pos = 0);

// Integer and float parses of message values, with a default on failure.
// Decimal with an optional sign; "$" or "0x" introduces hexadecimal.
bool TryStrToInt64(std::string_view text, int64_t& v);
int64_t StrToInt64Def(std::string_view text, int64_t def);
int StrToIntDef(std::string_view text, int def);
// '.' as the decimal point, as written in messages.
double StrToFloatDef(std::string_view text, double def);
