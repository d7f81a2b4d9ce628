#include "bench_host.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

extern "C" void Plugin_Init();
extern "C" void Plugin_Unload();

namespace palaverlink::bench {
namespace {

std::u16string Numbered(std::u16string_view stem, int index) {
  std::u16string text(stem);
  for (char digit : std::to_string(index)) text.push_back(static_cast<char16_t>(digit));
  return text;
}

}  // namespace

std::uint64_t PlayerId(int index) {
  return std::uint64_t{76561198000000001} + static_cast<std::uint64_t>(index);
}
std::u16string CharacterName(int index) { return Numbered(u"Rexford the Bold ", index); }
std::u16string AccountName(int index) { return Numbered(u"rexford_", index); }
std::u16string TribeName(int index) { return Numbered(u"Raptors of the North ", index % 12); }

bool BotMessageIsFromMap(int index) { return index % 2 == 1; }

nlohmann::json BotMessage(int index) {
  const bool from_map = BotMessageIsFromMap(index);
  nlohmann::json element = {{"createdAt", kFirstCreatedAt + index},
                            {"author", from_map ? "Rexford the Bold 7" : "Mod"},
                            {"message", "server restart in ten minutes, log off safely"},
                            {"kind", from_map ? "map" : "gabblen"}};
  if (from_map) element["sourceMapName"] = "The Center";
  return element;
}

BenchHost::BenchHost(int players)
    : players_(players),
      root_(std::filesystem::temp_directory_path() / ("palaverlink-bench-" + std::to_string(::getpid()))) {
  Start();
}

BenchHost::~BenchHost() { Stop(); }

void BenchHost::Restart() {
  Stop();
  Start();
}

void BenchHost::Start() {
  std::filesystem::remove_all(root_);
  std::filesystem::create_directories(root_);
  auto environment = std::make_unique<devhost::ManualEnvironment>();
  env_ = environment.get();
  host_ = std::make_unique<devhost::Host>(root_, std::move(environment), /*log_to_stderr=*/false);
  host_->WriteConfig(std::string(R"({"MapId":")") + kMapId + R"(","Debug":false})");
  Plugin_Init();
  game().CreateWorld(u"TheIsland_P");
  for (int i = 0; i < players_; ++i) {
    devhost::PlayerSpec spec;
    spec.platform_id = PlayerId(i);
    spec.character_name = CharacterName(i);
    spec.account_name = AccountName(i);
    spec.tribe_name = TribeName(i);
    game().Join(spec);
  }
}

void BenchHost::Stop() {
  if (!host_) return;
  Plugin_Unload();
  const auto escaped = host_->EscapedExceptions();
  const auto misuses = host_->game().Misuses();
  host_.reset();
  env_ = nullptr;
  std::filesystem::remove_all(root_);
  // A figure measured while the plug-in failed would mean nothing.
  if (!escaped.empty()) {
    std::fprintf(stderr, "exception reached the host: %s\n", escaped.front().c_str());
    std::abort();
  }
  if (!misuses.empty()) {
    std::fprintf(stderr, "the game was misused: %s\n", misuses.front().c_str());
    std::abort();
  }
}

std::vector<::AShooterPlayerController*> BenchHost::Controllers() const {
  std::vector<::AShooterPlayerController*> controllers;
  for (std::uint64_t id : host_->game().ConnectedPlayers())
    controllers.push_back(host_->game().Controller(id));
  return controllers;
}

GameText::GameText(devhost::Game& game, std::u16string_view text) : game_(game) {
  if (text.empty()) return;
  const auto units = text.size() + 1;
  auto* data = static_cast<char16_t*>(game_.Allocator().Malloc(units * sizeof(char16_t), 0));
  std::copy(text.begin(), text.end(), data);
  data[text.size()] = u'\0';
  string_ = GameString{data, static_cast<std::int32_t>(units), static_cast<std::int32_t>(units)};
}

GameText::~GameText() { game_.Allocator().Free(string_.data); }

}  // namespace palaverlink::bench
