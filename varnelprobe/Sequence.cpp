// The exerciser's sequence: the tuner count, then for each tuner the power cycle, the channel keys,
// the programme name, the status and the network switch, each call printed with its result.
#include "Sequence.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "varnel.h"

namespace probe {
namespace {

// Prints at once, so that a watcher sees each step as it happens.
void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void TestPower(int index) {
  Say("テスト1: 電源制御\nチューナーの電源をOffにしてから五秒後に電源をOnします。\n");
  Say("VARNEL_SetPower()=%d\n", VARNEL_SetPower(index, 0));
  Pause(5000);
  Say("VARNEL_SetPower()=%d\n", VARNEL_SetPower(index, 1));
  Pause(1000);
  Say("\n");
}

void TestChannels(int index) {
  Say("テスト2: "
      "チャンネル制御\nリモコンボタン1のチャンネルに切り替えてから五秒後にチャンネルアップ、"
      "その五秒後にチャンネルダウンします。\n");
  Say("VARNEL_SetChannel(1)=%d\n", VARNEL_SetChannel(index, 1));
  Pause(5000);
  Say("VARNEL_SetChannel(VARNEL_CHANNEL_UP)=%d\n", VARNEL_SetChannel(index, VARNEL_CHANNEL_UP));
  Pause(5000);
  Say("VARNEL_SetChannel(VARNEL_CHANNEL_DOWN)=%d\n", VARNEL_SetChannel(index, VARNEL_CHANNEL_DOWN));
  Pause(1000);
  Say("\n");
}

void TestProgramName(int index, char* name, int* capacity, int* channel) {
  Say("テスト3: 番組名取得\n番組名と論理チャンネル番号を取得します。\n");
  std::memset(name, 0, 1024);
  std::strcpy(name, "nodata");
  Say("VARNEL_GetProgramName=%d\n", VARNEL_GetProgramName(index, name, capacity, channel));
  char shown[4096];
  Say("%s %03d\n", ShownName(name, shown, sizeof shown), *channel);
  Say("\n");
}

void TestStatus(int index, int* power, int* lock) {
  Say("テスト4: ステータス取得\n現在のチューナーステータスを取得します。\n");
  Say("VARNEL_GetStatus=%d\n", VARNEL_GetStatus(index, power, lock));
  Say("Power:%d Lock:%d\n", *power, *lock);
  Say("\n");
}

void TestNetworks(int index) {
  Say("テスト5: "
      "ネットワーク切り替え制御\n地上デジタル放送に切り替えて五秒後にBSデジタル放送に切り替え、"
      "その五秒後に地上デジタル放送に切り替えします。\n");
  Say("VARNEL_SetChannel(VARNEL_NETWORK_DTT)=%d\n", VARNEL_SetChannel(index, VARNEL_NETWORK_DTT));
  Pause(5000);
  Say("VARNEL_SetChannel(VARNEL_NETWORK_BS)=%d\n", VARNEL_SetChannel(index, VARNEL_NETWORK_BS));
  Pause(5000);
  Say("VARNEL_SetChannel(VARNEL_NETWORK_DTT)=%d\n", VARNEL_SetChannel(index, VARNEL_NETWORK_DTT));
  Pause(1000);
  Say("\n");
}

}  // namespace

void RunSequence(int* index) {
  Say("デバイス数を取得します。\n");
  int count = 0;
  const int result = VARNEL_GetCount(&count);
  Say("VARNEL found=%d %d\n", count, result);
  Say("チューナー数: %d\n\n", count);

  char name[1024] = {};  // the library writes at most `capacity` bytes of it
  int capacity = 128;
  int channel = 0, power = 0, lock = 0;  // each line prints what the call left in them
  for (int i = 1; i <= count; ++i) {
    *index = i;
    Say("チューナー%d\n", i);
    TestPower(i);
    TestChannels(i);
    TestProgramName(i, name, &capacity, &channel);
    TestStatus(i, &power, &lock);
    TestNetworks(i);
  }
}

}  // namespace probe
