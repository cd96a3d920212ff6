#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// Runs one input through the own container's reader: the first byte picks a
// password and a volume split, the rest is the archive. Lists and extracts
// every entry, copies them raw into a new archive and appends to the input.
// False when something that must hold did not (never for merely bad input);
// broken then tells what.
bool qvReaderHarness(const uint8_t* data, size_t size, const QString& workDir, QString* broken = nullptr);

// The first byte for an archive image: password or not, volume size in
// steps of 8 bytes (0 for a single file).
uint8_t qvHarnessFlags(bool password, int volumeSteps);

// The password the first byte may pick. One of its characters passes 255
// with the length, so the two key rules differ and both get read.
QString qvHarnessPassword();
