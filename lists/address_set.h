// Rules' IP tests as sets of addresses: inclusive intervals of host-order
// numbers. `check` compares them, `optimize` merges them, `export --cidr`
// writes them as blocks.
#pragma once

#include "rules/rule.h"

#include <cstdint>
#include <string>
#include <vector>

struct AddressInterval {
    uint32_t low;
    uint32_t high;  // inclusive
};

// Sorts and joins touching or overlapping intervals.
void NormaliseIntervals(std::vector<AddressInterval>& intervals);

// Addresses whose plain dotted text (four decimal parts, no leading zeros)
// starts with `prefix`: the textual prefix test as the addresses it picks
// ("10.1" is 10.1.x.x, 10.10-10.19.x.x and 10.100-10.199.x.x). Empty for a
// prefix that no plain text starts with.
std::vector<AddressInterval> PrefixAddresses(const char* prefix, size_t length);

// The visitors with plain dotted addresses that the rule's IP test (prefix,
// range and exact address, from the stored fields) picks.
std::vector<AddressInterval> IpTestAddresses(const _RULE& rule);
// The same appended to `to`, for a caller that walks many rules.
void AppendIpTestAddresses(const _RULE& rule, std::vector<AddressInterval>* to);

// Every address the rule can pick a visitor at, whatever text the visitor's
// address is written in (inet_addr reads "10.0.010" as 10.0.0.8, text that
// is no address as 255.255.255.255). Wider than the truth where it cannot be
// exact: a rule that can pick by nickname alone may pick any address.
std::vector<AddressInterval> PossibleAddresses(const _RULE& rule);

// A rule whose pick is decided by numbers alone: the IP test alone decides
// (IsAddressOnly: search type 2, 6 and the like), no prefix, and a range or
// exact address giving one interval.
bool IsNumericAddressRule(const _RULE& rule, AddressInterval* interval);

// The fewest A/n blocks that cover exactly [low, high], in order.
std::vector<std::pair<uint32_t, int>> CidrBlocks(uint32_t low, uint32_t high);
// The length n of the first of them, the largest block that starts at `at`
// and ends before `end` (high + 1), for a walk that keeps no list.
int CidrBlockLength(uint64_t at, uint64_t end);

std::string DottedAddress(uint32_t address);
// The same into `out` (16 bytes are enough), without a terminator; gives
// its length.
size_t FormatDotted(uint32_t address, char* out);
