#include "RemoteKeys.h"

#include "../include/ostrin.h"

namespace ostrin {
namespace {

struct SelectorKey {
  int selector;
  unsigned short key;
};

constexpr SelectorKey kRemoteKeys[] = {
    {1, 0x1F38},
    {2, 0x1F39},
    {3, 0x1F3A},
    {4, 0x1F3B},
    {5, 0x1F3C},
    {6, 0x1F3D},
    {7, 0x1F3E},
    {8, 0x1F3F},
    {9, 0x1F40},
    {10, 0x1F41},
    {11, 0x1F42},
    {12, 0x1F43},
    {OSTRIN_CHANNEL_UP, 0x1F47},
    {OSTRIN_CHANNEL_DOWN, 0x1F4A},
};

}  // namespace

bool RemoteKeyForSelector(int selector, unsigned short* key) {
  for (const SelectorKey& entry : kRemoteKeys) {
    if (entry.selector == selector) {
      *key = entry.key;
      return true;
    }
  }
  return false;
}

}  // namespace ostrin
