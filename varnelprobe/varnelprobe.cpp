// varnelprobe: runs a fixed sequence of five tests against every tuner varnel finds and prints
// each call with its result. No arguments, no input.
//
// The messages are written in code page 932 (this file is compiled with that execution
// character set); on a console with another code page, the console is switched to 932 for the
// run and back afterwards, also when the run is interrupted (Ctrl+C, Ctrl+Break, the console
// closed): a console left in 932 would garble what its user types next.
#include <objbase.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "varnel.h"

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
  Sleep(5000);
  Say("VARNEL_SetPower()=%d\n", VARNEL_SetPower(index, 1));
  Sleep(1000);
  Say("\n");
}

void TestChannels(int index) {
  Say("テスト2: "
      "チャンネル制御\nリモコンボタン1のチャンネルに切り替えてから五秒後にチャンネルアップ、"
      "その五秒後にチャンネルダウンします。\n");
  Say("VARNEL_SetChannel(1)=%d\n", VARNEL_SetChannel(index, 1));
  Sleep(5000);
  Say("VARNEL_SetChannel(VARNEL_CHANNEL_UP)=%d\n", VARNEL_SetChannel(index, VARNEL_CHANNEL_UP));
  Sleep(5000);
  Say("VARNEL_SetChannel(VARNEL_CHANNEL_DOWN)=%d\n", VARNEL_SetChannel(index, VARNEL_CHANNEL_DOWN));
  Sleep(1000);
  Say("\n");
}

void TestProgramName(int index, char* name, int* capacity, int* channel) {
  Say("テスト3: 番組名取得\n番組名と論理チャンネル番号を取得します。\n");
  std::memset(name, 0, 1024);
  std::strcpy(name, "nodata");
  Say("VARNEL_GetProgramName=%d\n", VARNEL_GetProgramName(index, name, capacity, channel));
  Say("%s %03d\n", name, *channel);
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
  Sleep(5000);
  Say("VARNEL_SetChannel(VARNEL_NETWORK_BS)=%d\n", VARNEL_SetChannel(index, VARNEL_NETWORK_BS));
  Sleep(5000);
  Say("VARNEL_SetChannel(VARNEL_NETWORK_DTT)=%d\n", VARNEL_SetChannel(index, VARNEL_NETWORK_DTT));
  Sleep(1000);
  Say("\n");
}

DWORD WINAPI RunTests(LPVOID sharedIndex) {
  int* index = static_cast<int*>(sharedIndex);
  CoInitialize(nullptr);

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

  CoUninitialize();
  return 0;
}

// The console's own output code page while the run has switched it to 932, else 0.
volatile UINT g_consoleCodePage = 0;

void RestoreConsoleCodePage() {
  const UINT codePage = g_consoleCodePage;
  if (codePage != 0) SetConsoleOutputCP(codePage);
}

// Runs on a thread of its own when the run is interrupted; the process ends after it (FALSE
// leaves the event to the default handler, which ends the process).
BOOL WINAPI RestoreOnInterrupt(DWORD) {
  RestoreConsoleCodePage();
  return FALSE;
}

}  // namespace

int main() {
  const UINT consoleCodePage = GetConsoleOutputCP();
  if (consoleCodePage != 0 && consoleCodePage != 932) {
    g_consoleCodePage = consoleCodePage;
    SetConsoleCtrlHandler(RestoreOnInterrupt, TRUE);
    SetConsoleOutputCP(932);
  }

  int index = 1;  // shared with the worker, which stores the index under test
  HANDLE worker = CreateThread(nullptr, 0, RunTests, &index, 0, nullptr);
  if (worker != nullptr) {
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
  }

  RestoreConsoleCodePage();
  return 0;
}
