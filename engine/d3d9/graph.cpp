// Graph handles, the screen mode, the back buffer and the draw target.
#include <cstring>

#include "engine/d3d9/graphics.h"
#include "engine/draw/draw.h"
#include "engine/sound/movie/movie.h"

namespace {

struct GraphicsState {
  int screenWidth = 640, screenHeight = 480;
  int colorBits = 16;
  int refreshRate = 60;
  int initialized = 0;
  MEMIMG screen{};
  int drawTarget = DrawTarget::BackBuffer;
  int useTextureDivision = 1;
  int transR = 0, transG = 0, transB = 0;  // black until the program sets its own
  HandleManager graphs{};
  int softImageInitialized = 0;
  int modelInitialized = 0;
};

GraphicsState G;

int ColorTypeOfBits(int bits) { return bits == 32 ? MEMIMG_COLOR_32 : MEMIMG_COLOR_16; }

void ClearMemImgStore(MEMIMG* img) {
  MemImgBase* base = img->Base;
  if (base && base->Pixels) std::memset(base->Pixels, 0, size_t(base->Pitch) * size_t(base->Height));
}

void ResetDrawAreaToTarget() {
  MEMIMG* target = GetDrawTargetMemImg();
  if (target) DrawArea = RECT{0, 0, target->Width, target->Height};
}

int DeleteGraphCallback(HandleHeader* header) {
  auto* rec = reinterpret_cast<GraphHandleRecord*>(header);
  if (G.drawTarget == rec->Head.handle) {
    // The target is going away: drawing falls back to the back buffer.
    G.drawTarget = DrawTarget::BackBuffer;
    ResetDrawAreaToTarget();
  }
  if (rec->MovieHandle != -1) CloseMovie(rec->MovieHandle);
  rec->MovieHandle = -1;
  if (rec->SoftImage.Valid) TerminateMemImg(&rec->SoftImage);
  return 0;
}

int MakeScreenImage(MEMIMG* out, int width, int height, int bits) {
  std::memset(out, 0, sizeof(*out));
  if (MakeMemImg(out, width, height, ColorTypeOfBits(bits), 0, 0) != 0) {
    LogPrintf("画面用イメージ( %d x %d %dbit )の作成に失敗しました", width, height, bits);
    return -1;
  }
  ClearMemImgStore(out);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------- start and end

int InitGraphicsSystem() {
  if (G.initialized) return 0;
  InitBlendTables();
  if (InitHandleManager(&G.graphs, HandleType::Graph, sizeof(GraphHandleRecord), GRAPH_MAX_COUNT, nullptr,
                        DeleteGraphCallback, "グラフィック") != 0) {
    LogPrint("グラフィックハンドル管理の初期化に失敗しました");
    return -1;
  }
  if (MakeScreenImage(&G.screen, G.screenWidth, G.screenHeight, G.colorBits) != 0) {
    TermHandleManager(&G.graphs);
    return -1;
  }
  G.initialized = 1;
  G.drawTarget = DrawTarget::BackBuffer;
  ResetDrawAreaToTarget();
  SetDrawBlendMode(BlendMode::None, 255);
  SetDrawBrightness(255, 255, 255);
  SetMainWindowClientSize(G.screenWidth, G.screenHeight);
  LogPrintf("Direct3D デバイスが無いのでソフトウェアレンダリングで描画します( %d x %d %dbit )", G.screenWidth,
            G.screenHeight, G.colorBits);
  return 0;
}

int TerminateGraphicsSystem() {
  if (!G.initialized) return 0;
  SetBlendGraph(-1, 0, 0);
  TermHandleManager(&G.graphs);
  TerminateMemImg(&G.screen);
  std::memset(&G.screen, 0, sizeof(G.screen));
  G.drawTarget = DrawTarget::BackBuffer;
  G.initialized = 0;
  return 0;
}

// Soft-image and model handles are never used by this program; their managers
// only keep their started state.
int InitSoftImageManage() {
  G.softImageInitialized = 1;
  return 0;
}
int TermSoftImageManage() {
  G.softImageInitialized = 0;
  return 0;
}
int InitModelManage() {
  G.modelInitialized = 1;
  return 0;
}
int TermModelManage() {
  G.modelInitialized = 0;
  return 0;
}

int IsGraphicsInitialized() { return G.initialized; }

// ---------------------------------------------------------------- graph handles

HandleManager* GetGraphHandleManager() { return &G.graphs; }

GraphHandleRecord* GetGraphRecord(int graph) {
  if (!G.initialized || graph < 0) return nullptr;
  return reinterpret_cast<GraphHandleRecord*>(GetHandleRecord(&G.graphs, graph));
}

int MakeGraphHandle(int width, int height, int useAlpha) {
  if (!G.initialized) return -1;
  if (width < 1 || height < 1 || width > GRAPH_MAX_SIZE || height > GRAPH_MAX_SIZE) {
    LogPrintf("グラフィックのサイズ( %d x %d )が不正です", width, height);
    return -1;
  }
  HandleValue handle = AddHandle(&G.graphs, -1);
  if (handle < 0) return -1;
  GraphHandleRecord* rec = GetGraphRecord(handle);
  rec->ParentGraph = -1;
  rec->MovieHandle = -1;
  rec->TextureSetValid = 0;
  if (MakeMemImg(&rec->SoftImage, width, height, ColorTypeOfBits(G.colorBits), 0, useAlpha ? 1 : 0) != 0) {
    LogPrintf("グラフィック用イメージ( %d x %d )の作成に失敗しました", width, height);
    SubHandle(&G.graphs, handle);
    return -1;
  }
  ClearMemImgStore(&rec->SoftImage);
  rec->SoftImage.Base->TransColor = GetTransColorValue();
  rec->Width = width;
  rec->Height = height;
  return handle;
}

int DeriveGraph(int srcX, int srcY, int width, int height, int srcGraph) {
  GraphHandleRecord* src = GetGraphRecord(srcGraph);
  if (!src) return -1;
  if (srcX < 0 || srcY < 0 || width < 1 || height < 1 || width > src->Width - srcX ||
      height > src->Height - srcY)
    return -1;
  HandleValue handle = AddHandle(&G.graphs, -1);
  if (handle < 0) return -1;
  GraphHandleRecord* rec = GetGraphRecord(handle);
  src = GetGraphRecord(srcGraph);  // the table may have moved
  rec->ParentGraph = srcGraph;
  rec->MovieHandle = -1;
  if (DeriveMemImg(&rec->SoftImage, &src->SoftImage, srcX, srcY, width, height) != 0) {
    SubHandle(&G.graphs, handle);
    return -1;
  }
  rec->Width = width;
  rec->Height = height;
  return handle;
}

int MakeGraphFromCurrentParams(int width, int height, int notUse3DFlag) {
  return MakeGraphHandle(width, height, 0);
}

int GetGraphSize(int graph, int* width, int* height) {
  GraphHandleRecord* rec = GetGraphRecord(graph);
  if (!rec) return -1;
  if (width) *width = rec->Width;
  if (height) *height = rec->Height;
  return 0;
}

int DeleteGraph(int graph, int logOutFlag) {
  if (!GetGraphRecord(graph)) return -1;
  return SubHandle(&G.graphs, graph);
}

int DeleteAllGraphs(int logOutFlag) {
  if (!G.initialized) return 0;
  DeleteAllHandles(&G.graphs, nullptr);
  return 0;
}

int SetUseGraphTextureDivision(int flag) {
  G.useTextureDivision = flag ? 1 : 0;
  return 0;
}

int SetTransparentColor(int r, int g, int b) {
  G.transR = r & 0xFF;
  G.transG = g & 0xFF;
  G.transB = b & 0xFF;
  return 0;
}

uint32_t GetTransColorValue() { return GetColor(G.transR, G.transG, G.transB); }

// ---------------------------------------------------------------- the screen

int SetScreenMode(int width, int height, int colorBits, int refreshRate) {
  if (width < 1 || height < 1 || width > GRAPH_MAX_SIZE || height > GRAPH_MAX_SIZE ||
      (colorBits != 16 && colorBits != 32)) {
    LogPrintf("対応していない画面モード( %d x %d %dbit )です", width, height, colorBits);
    return -1;
  }
  if (!G.initialized) {
    G.screenWidth = width;
    G.screenHeight = height;
    G.colorBits = colorBits;
    G.refreshRate = refreshRate;
    return 0;
  }
  if (width == G.screenWidth && height == G.screenHeight && colorBits == G.colorBits) {
    G.refreshRate = refreshRate;
    return 0;
  }
  // Graphs are stored in the screen's format, so the depth cannot change under them.
  if (colorBits != G.colorBits && G.graphs.count > 0) {
    LogPrintf("グラフィックハンドルがある間は画面の色ビット数( %d )を変更できません", colorBits);
    return -1;
  }
  MEMIMG fresh;
  if (MakeScreenImage(&fresh, width, height, colorBits) != 0) return -1;
  TerminateMemImg(&G.screen);
  G.screen = fresh;
  G.screenWidth = width;
  G.screenHeight = height;
  G.colorBits = colorBits;
  G.refreshRate = refreshRate;
  if (G.drawTarget == DrawTarget::BackBuffer) ResetDrawAreaToTarget();
  SetMainWindowClientSize(width, height);
  return 0;
}

int GetScreenState(int* width, int* height, int* colorBits) {
  if (width) *width = G.screenWidth;
  if (height) *height = G.screenHeight;
  if (colorBits) *colorBits = G.colorBits;
  return 0;
}

int GetScreenColorType() { return ColorTypeOfBits(G.colorBits); }

MEMIMG* GetScreenMemImg() { return G.initialized ? &G.screen : nullptr; }

MEMIMG* GetDrawTargetMemImg() {
  if (!G.initialized) return nullptr;
  if (G.drawTarget == DrawTarget::BackBuffer) return &G.screen;
  GraphHandleRecord* rec = GetGraphRecord(G.drawTarget);
  return rec ? &rec->SoftImage : &G.screen;
}

int GetDrawTargetGraph() { return G.drawTarget; }

int SetDrawTarget(int graph) {
  if (!G.initialized) return -1;
  if (graph != DrawTarget::BackBuffer && !GetGraphRecord(graph)) return -1;
  G.drawTarget = graph;
  ResetDrawAreaToTarget();
  return 0;
}
