#include "pac/Pac.h"

#include <cmath>
#include <limits>

#include "runtime/LastError.h"
#include "runtime/Module.h"
#include "stream/StreamClosing.h"
#include "stream/Url.h"
#include "util/FileSystem.h"
#include "vex2d/GLImageFrame.h"
#include "vex2d/GLVex2DDriver.h"
#include "vex2d/Vex2DGraphics.h"

namespace corvex {
namespace {

const String kHeaderPrefix("#frames: ");
const String kFieldSeparator(", ");

// The next line of the index, or false at its end. A stream that stops delivering without
// reporting its end (its position stands still) ends the index too, so no pass can spin.
bool ReadIndexLine(const Ref<TStream>& stream, String& line) {
  if (StreamEof(stream)) return false;
  const int32_t before = stream->Pos();
  line = ReadLine(stream);
  return !(line.IsEmpty() && before >= 0 && stream->Pos() == before);
}

// The field as a float by the runtime's atof rules; beyond the float range it is infinite.
float FloatField(String& rest) {
  const double value = TPac::SplitField(rest, kFieldSeparator).ToDouble();
  if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
  if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// The header's frame count, or -1 when the index has no header.
int32_t ReadFrameCount(const Ref<TStream>& stream) {
  String line;
  while (ReadIndexLine(stream, line)) {
    if (line.StartsWith(kHeaderPrefix)) return line.Slice(kHeaderPrefix.Length()).ToInt();
  }
  return -1;
}

}  // namespace

Ref<TPac> TPac::Load(const String& url, int32_t flags) {
  const Ref<TStream> stream = OpenReadStream(Url(url));
  if (!stream) return Null;
  const StreamCloser closer(stream);

  const int32_t count = ReadFrameCount(stream);
  if (count > kMaxPacFrames) {
    SetLastErrorAbout(url, "more than " + String::FromInt(kMaxPacFrames) + " frames");
    return Null;
  }

  const Ref<TPac> pac = New<TPac>();
  pac->uLeft = Array<float>(count);
  pac->vTop = Array<float>(count);
  pac->uRight = Array<float>(count);
  pac->vBottom = Array<float>(count);
  pac->widths = Array<int32_t>(count);
  pac->heights = Array<int32_t>(count);
  pac->charW = Array<int32_t>(count);

  pac->image = LoadImage(Url(WithoutExtension(url) + ".png"), flags);
  const float atlasWidth = NextPow2(pac->image ? pac->image->width : 0);
  const float atlasHeight = NextPow2(pac->image ? pac->image->height : 0);

  SeekStream(stream, 0);
  int32_t i = 0;
  String line;
  // Lines beyond the announced count have no room in the tables and are not read.
  while (i < pac->FrameCount() && ReadIndexLine(stream, line)) {
    if (line.StartsWith("#")) continue;
    String rest = line;
    SplitField(rest, kFieldSeparator);  // the frame's name is not kept
    const float x = FloatField(rest);
    const float y = FloatField(rest);
    const float w = FloatField(rest);
    const float h = FloatField(rest);
    pac->uLeft[i] = x / atlasWidth;
    pac->vTop[i] = y / atlasHeight;
    pac->uRight[i] = (x + w) / atlasWidth;
    pac->vBottom[i] = (y + h) / atlasHeight;
    pac->widths[i] = TruncateToInt32(w);
    pac->heights[i] = TruncateToInt32(h);
    pac->charW[i] = SplitField(rest, kFieldSeparator).ToInt();
    const String parent = SplitField(rest, kFieldSeparator);
    const int32_t frame = SplitField(rest, kFieldSeparator).ToInt();

    // A frame number outside the group range would need an absurd group array.
    if (frame >= 0 && frame <= kMaxPacGroupFrame) {
      Array<int32_t>& group = pac->groups[parent];
      if (group.Length() <= frame) group = group.Resized(frame + 1);
      group[frame] = i;
    }
    ++i;
  }
  return pac;
}

int32_t TruncateToInt32(double value) noexcept {
  if (std::isnan(value)) return 0;
  if (value <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (value >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

float TPac::NextPow2(int32_t n) {
  int64_t power = 1;
  while (power < n) power *= 2;
  return static_cast<float>(power);
}

String TPac::SplitField(String& text, const String& separator) {
  const int32_t at = text.Find(separator);
  if (at < 0) {
    String whole = text;
    text = String();
    return whole;
  }
  String field = text.Slice(0, at);
  text = text.Slice(at + separator.Length());
  return field;
}

void TPac::ReleaseImage() {
  image = Null;
}

int32_t TPac::FirstFrame(const String& name) {
  const auto found = groups.find(name);
  if (found == groups.end() || found->second.IsEmpty()) return 0;
  return found->second[0];
}

Array<int32_t> TPac::FrameIndices(const String& name) {
  const auto found = groups.find(name);
  return found == groups.end() ? Array<int32_t>() : found->second;
}

void TPac::DrawFrame(float x, float y, int32_t index, float handleX, float handleY) {
  if (index < 0 || index >= FrameCount() || !image) return;
  RequireActiveDriver();  // the renderer's own error when nothing can be drawn on
  SetImageHandle(image, handleX, handleY);
  // Every frame is drawn through the atlas's one driver frame, its texture window set first.
  const Ref<TGLImageFrame> frame = Cast<TGLImageFrame>(image->Frame(0));
  if (!frame) return;
  frame->SetTextureWindow(uLeft[index], vTop[index], uRight[index], vBottom[index]);
  DrawImageStretched(image, x, y, static_cast<float>(widths[index]), static_cast<float>(heights[index]), 0);
}

void InitPacModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
  InitStreamModule();
  InitFileSystemModule();
  InitImageModule();
  InitGLVex2DModule();
}

}  // namespace corvex
