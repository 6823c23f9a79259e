#pragma once

#include "Picture.h"

#include <QString>

#include <cstdint>
#include <functional>

// The scaler's frame: a 720 x 576 working frame whose every second line, 720 x 288, is one video field.
inline constexpr int kFrameWidth = 720;
inline constexpr int kFrameHeight = 576;
inline constexpr int kFieldHeight = 288;

// How a source picture becomes the working frame.
enum TFitMode : uint8_t {
    FIT_CANCELLED = 0, // nothing is processed
    FIT_EXACT = 1,     // 720 x 576: taken as it is
    FIT_SHRINK = 2,    // scaled down to the frame
    FIT_CROP = 3,      // its top-left 720 x 576 taken unscaled
    FIT_CENTER = 4,    // unscaled in the middle of a black frame
    FIT_ZOOM = 5,      // scaled up to the frame
};

// "exact", "shrink", "crop", "center", "zoom"; empty for anything else.
QString FitModeName(int mode);
// The mode of one of those names (any letter case); FIT_CANCELLED for an unknown name.
TFitMode FitModeFromName(const QString &name);

// The question the fit-choice window asks about a picture of a given size, and its two answers.
struct TFitChoice {
    enum class Question { None, TooLarge, TooSmall };
    Question question = Question::None; // None: exactly 720 x 576, nothing to ask
    QString label;                      // LblFormat
    QString first;                      // RdoFormat1, selected whenever the window is shown
    QString second;                     // RdoFormat2
    TFitMode firstMode = FIT_EXACT;
    TFitMode secondMode = FIT_EXACT;
};
TFitChoice FitChoiceFor(int width, int height);

// The operator's answer to a fit choice: cancelled, the first radio button or the second.
enum class TFitAnswer { Cancel, First, Second };

// The fit mode for a source of this size: FIT_EXACT without asking for 720 x 576; otherwise `ask` shows
// the choice (the window is the caller's) and its answer picks the mode, FIT_CANCELLED when cancelled.
TFitMode ChooseFitMode(int width, int height, const std::function<TFitAnswer(const TFitChoice &)> &ask);

// Nearest-neighbour scaling of the whole source to width x height: every pixel takes the colour of the
// source pixel at (x * source width / width, y * source height / height), so halving the height keeps the
// even lines and doubling it repeats every line. Returns a 32-bit RGB picture.
QImage ScaleNearest(const QImage &source, int width, int height);

// Copies `source` unscaled so that its top-left pixel lands at (x, y) of `target`, clipped to both.
void CopyPicture(const QImage &source, QImage &target, int x, int y);

// Fits the source into the 720 x 576 working frame by one of the modes 1 to 5 (other modes change
// nothing and return false).
bool FitPicture(int mode, const QImage &source, QImage &working);

// The four pictures of a frame transfer and their processing.
class TFramePictures {
  public:
    // The window's hooks; each is optional.
    struct Observer {
        std::function<void()> processingStarted; // mark the window as processing
        std::function<void(int min, int max, int position)> progress;
        std::function<void(int mode, const QString &text)> status; // 0 idle, 1 busy
        std::function<void(int width, int height)> sourceSize;     // for the frame debug view
    };

    // The source and the working frame black, the working frame 720 x 576, the field 720 x 288, the
    // display (preview) 720 x 576 and black.
    TFramePictures();

    // Fits the source into the working frame, reduces the working frame to the field (every second line)
    // and draws the field, each line twice, into the display. Locks the four surfaces in order for the
    // whole of it. Does nothing and returns false for a mode other than 1 to 5.
    bool ProcessPicture(int mode, const Observer &observer = {});

    TPicture Source;
    TPicture Working;
    TPicture Field;
    TPicture Display;
};
