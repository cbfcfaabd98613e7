// One entry of a rule list or table as text: the strict reading of an
// address entry ("10.0.*", "10.0.0.1", "10.0.0.1-10.0.0.9",
// "198.51.100.0/24") with the reason for a bad one, and putting a nickname
// or IP text into a rule's fields.
#pragma once

#include "rules/rule.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the editor's fields admit: the texts and their terminators fit.
constexpr size_t TYPED_NAME_UNITS = RULE_NAME_UNITS - 1;
constexpr size_t TYPED_IP_BYTES = RULE_IP_TEXT_BYTES - 1;

// Four decimal parts of 0 to 255 without leading zeros (the module would
// read "010" as octal, and "10.1" as 10.0.0.1), nothing else.
bool ReadStrictAddress(const std::string& text, uint32_t* address);
// Such an address at the start of `text`: the characters it takes, never
// followed by a digit; 0 when the text does not start with one.
size_t ReadStrictAddressAt(const char* text, size_t length, uint32_t* address);

// Labels joined by dots, the last one of letters ("evil.example.com",
// "Example.COM."), or "localhost".
bool LooksLikeHostName(const std::string& text);

// Whether a plain list's entry is an attempt at an address rather than a
// nickname (see IsAddressAttempt in list_entry.cpp).
bool IsAddressAttempt(const std::string& entry);

// Checks an IP pattern as a plain list or the table's ip column writes it,
// and gives the IP text to store, or says why not. `warning` gets what is
// allowed but seldom meant.
bool IpTextOfEntry(const std::string& entry, std::string* ipText, std::string* reason,
                   std::string* warning);

// Whether the table's checks give back the rule's own IP text, so that its
// line needs no stored pattern.
bool IpTextPassesChecks(const _RULE& rule);

// Put a nickname of at most `limit` units, or an IP text of at most `limit`
// bytes, into the rule's field; false, with the reason, for one too long or
// holding a zero.
bool SetName(_RULE& rule, const std::u16string& name, size_t limit, std::string* reason);
bool SetIpText(_RULE& rule, const std::string& ipText, size_t limit, std::string* reason);
