#include "engine/MyCom.h"

#include <atomic>

namespace {
std::atomic<int> g_liveObjects{0};
}

CMyUnknownImp::CMyUnknownImp()
{
    ++g_liveObjects;
}

CMyUnknownImp::~CMyUnknownImp()
{
    --g_liveObjects;
}

int CMyUnknownImp::liveObjects()
{
    return g_liveObjects.load();
}
