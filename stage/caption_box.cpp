#include "stage/caption_box.h"

#include <algorithm>

#include "platform/access_key.h"
#include "platform/fonts.h"
#include "platform/twips.h"
#include "stage/controls.h"

namespace stage {

QRect captionBoxTwips() { return {120, 4080, 5580, 1455}; }

QFont captionFont() { return platform::layoutFont(platform::kGothicFamily, 14.25); }

CaptionFit fitCaption(const QString& caption) {
  // Built once: every dialogue line of a checked folder comes through here.
  static const QFont font = captionFont();
  static const QRect box = CaptionLabel::textArea(platform::twipsRect(0, 0, captionBoxTwips().width(), captionBoxTwips().height()));
  static const int lineHeight = std::max(1, platform::accessKeyTextHeight(font, box.width(), QStringLiteral("あ")));
  const int height = caption.isEmpty() ? 0 : platform::accessKeyTextHeight(font, box.width(), caption);
  return {(height + lineHeight - 1) / lineHeight, box.height() / lineHeight};
}

}  // namespace stage
