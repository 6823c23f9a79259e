#pragma once

#include <QString>

#include <cstdint>

// IPv4 addresses and masks as the scaler's network settings carry them, most significant octet first.

// Exactly four dot-separated decimal numbers of one to three digits, each 0 to 255, and nothing else.
bool parseDottedQuad(const QString &text, uint32_t &value);
// "a.b.c.d" in decimal.
QString dottedQuad(uint32_t value);
