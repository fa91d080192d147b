#include "platform/sdl2/sdl2.h"

#include <SDL.h>

#include <cstdio>

#include "platform/window.h"

namespace {
constexpr int MAX_SCALE = 8;
}

struct Sdl2Backend::Impl {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int scale = 1;
  std::string title;
  bool initialised = false;
  bool failed = false;
  bool penDown = false;
  Uint32 wakeEvent = 0;

  bool EnsureWindow();
};

Sdl2Backend::Sdl2Backend() : impl(new Impl) {}

Sdl2Backend::~Sdl2Backend() {
  if (impl->texture != nullptr) SDL_DestroyTexture(impl->texture);
  if (impl->renderer != nullptr) SDL_DestroyRenderer(impl->renderer);
  if (impl->window != nullptr) SDL_DestroyWindow(impl->window);
  if (impl->initialised) SDL_Quit();
  delete impl;
}

int Sdl2Backend::Open(int scale, const char* windowTitle, std::string* error) {
  impl->scale = scale < 1 ? 1 : (scale > MAX_SCALE ? MAX_SCALE : scale);
  impl->title = windowTitle != nullptr ? windowTitle : "";
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    *error = std::string("cannot open a window: ") + SDL_GetError();
    return -1;
  }
  impl->initialised = true;
  impl->wakeEvent = SDL_RegisterEvents(1);
  return 0;
}

// The window appears with the first picture, so that a program that ends
// before it draws anything (a second copy) never shows one.
bool Sdl2Backend::Impl::EnsureWindow() {
  if (texture != nullptr) return true;
  if (!initialised || failed) return false;
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");  // sharp pixels when enlarged
  window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, SCREEN_WIDTH * scale,
                            SCREEN_HEIGHT * scale, SDL_WINDOW_SHOWN);
  if (window != nullptr) renderer = SDL_CreateRenderer(window, -1, 0);
  if (renderer != nullptr) {
    SDL_RenderSetLogicalSize(renderer, SCREEN_WIDTH, SCREEN_HEIGHT);
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, SCREEN_WIDTH,
                                SCREEN_HEIGHT);
  }
  if (texture == nullptr) {
    std::fprintf(stderr, "tevo-logviewer: cannot open a window: %s\n", SDL_GetError());
    failed = true;
    RequestQuit();
    return false;
  }
  return true;
}

uint32_t Sdl2Backend::Tick() { return SDL_GetTicks() + 1; }  // 0 is never a tick: it means "none yet"

void Sdl2Backend::Now(LocalTime* time) {
  *time = SystemLocalTime();
}

void Sdl2Backend::Wake() {
  SDL_Event event{};
  event.type = impl->wakeEvent;
  SDL_PushEvent(&event);
}

void Sdl2Backend::Present(const Canvas& screen) {
  if (screen.pixels == nullptr || !impl->EnsureWindow()) return;
  SDL_UpdateTexture(impl->texture, nullptr, screen.pixels, screen.stride * 2);
  SDL_RenderClear(impl->renderer);
  SDL_RenderCopy(impl->renderer, impl->texture, nullptr, nullptr);
  SDL_RenderPresent(impl->renderer);
}

bool Sdl2Backend::WaitInput(uint32_t deadline, bool hasDeadline, InputEvent* event) {
  SDL_Event e;
  int timeout = -1;
  if (hasDeadline) {
    int32_t left = static_cast<int32_t>(deadline - Tick());
    timeout = left > 0 ? left : 0;
  }
  int got = timeout < 0 ? SDL_WaitEvent(&e) : SDL_WaitEventTimeout(&e, timeout);
  if (got == 0) return false;
  switch (e.type) {
    case SDL_QUIT:
      event->kind = InputEvent::QUIT;
      return true;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED && impl->texture != nullptr) Present(ScreenCanvas());
      return false;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button != SDL_BUTTON_LEFT) return false;
      impl->penDown = true;
      event->kind = InputEvent::PEN_DOWN;
      event->x = e.button.x;  // logical size: SDL maps window pixels back to the screen's
      event->y = e.button.y;
      return true;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button != SDL_BUTTON_LEFT || !impl->penDown) return false;
      impl->penDown = false;
      event->kind = InputEvent::PEN_UP;
      event->x = e.button.x;
      event->y = e.button.y;
      return true;
    case SDL_MOUSEMOTION:
      // A pen only moves while it touches the screen.
      if (!impl->penDown) return false;
      event->kind = InputEvent::PEN_MOVE;
      event->x = e.motion.x;
      event->y = e.motion.y;
      return true;
    default:
      return false;
  }
}
