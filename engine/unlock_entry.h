// The password check of an encrypted entry, before its output is created.
#pragma once
#include "support/sfx_types.h"

// The first piece of the entry's data is in the input reader as stored.
// Asks the front-end for a password (the run's password is tried first)
// until one fits the entry's encryption header or the user gives up; then
// takes the header, decrypts the rest of the piece and sets the input
// layer to decrypt every later one. false: no password fits (the status is
// left to the caller).
bool UnlockEntry(const char* entryName);
