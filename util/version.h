#pragma once
#include <cstdint>
#include <string>

// Version information of the program, compiled in from the build.
// Keys: "CompanyName", "ProductName", "FileDescription", "FileVersion",
// "LegalCopyright", "Website", "Email". Unknown keys give "".
std::string VersionString(const std::string& key);

// "a.b.c.d" -> a<<24 | b<<16 | c<<8 | d; 0 when a part is missing or not a number.
uint32_t PackVersion(const std::string& text);
// Packed version of this program (written into training files).
uint32_t ProgramVersion();
// "%d.%d.%d.%d" from the four bytes, most significant first.
std::string VersionText(uint32_t version);
// Product name + " " + file version; "" without a product name.
std::string ProductTitle();
// File description + " " + file version; "" without a description.
std::string DescriptionTitle();
// The text of the version box: product title, copyright, website, e-mail and extra.
// Lines are separated by "\r".
std::string VersionBoxText(const std::string& extra);
