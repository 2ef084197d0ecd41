#include "read/decrypted_view.h"

#include <utility>

#include "base/text.h"
#include "read/html_sanitizer.h"

namespace veilmark {
namespace {

std::u16string AttachmentBlock(const VeilmarkDecryptedAtt& attachment,
                               const std::u16string& origin) {
  // Names and paths come from the sender's message: escaped so that none can
  // open a tag or leave an attribute, and a link only for a path on the
  // service, never one that names another host.
  const bool linked = IsServicePath(attachment.url);
  const std::u16string attUrl = linked ? EscapeHtml(origin + attachment.url) : std::u16string();
  std::string contentType = attachment.contentType;
  LowerAscii(contentType);
  const std::u16string& preview =
      attachment.previewUrl.empty() ? attachment.url : attachment.previewUrl;
  std::u16string thumbUrl;
  if (contentType.compare(0, 5, "image") == 0 && IsServicePath(preview)) {
    thumbUrl = EscapeHtml(origin + preview);
  } else {
    thumbUrl = origin + u"/images/attachment.png";
  }
  const std::u16string name = EscapeHtml(attachment.name);
  const std::u16string image =
      u"<img style=\"max-height:180px\" src=\"" + thumbUrl + u"\" alt=\"" + name + u"\">";
  const std::u16string size = FormatSize(static_cast<std::uint64_t>(attachment.size));
  if (!linked) {
    return u"<table cellpadding=\"0\"><tbody><tr><td>" + image + u"</td><td><b>" + name +
           u"</b><br/>" + size + u"</td></tr></tbody></table>";
  }
  return u"<table cellpadding=\"0\"><tbody><tr><td><a href=\"" + attUrl + u"\">" + image +
         u"</a></td><td><b>" + name + u"</b><br/>" + size + u"<span>&nbsp;&nbsp;<a href=\"" +
         attUrl + u"\">Download</a>&nbsp;&nbsp;</span></td></tr></tbody></table>";
}

}  // namespace

bool IsServicePath(std::u16string_view url) {
  return url.size() >= 1 && url[0] == u'/' && (url.size() == 1 || url[1] != u'/');
}

std::u16string EscapeHtml(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'"':
        out += u"&quot;";
        break;
      case u'\'':
        out += u"&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::u16string ComposeDecryptedView(const std::u16string& clearText,
                                    const std::vector<VeilmarkDecryptedAtt>& attachments,
                                    const std::u16string& apiHost) {
  const std::u16string origin = u"https://" + apiHost;
  SanitizedHtml body = SanitizeHtml(clearText, origin);
  // The sanitized text becomes the view itself: it is the size of the message.
  std::u16string view = std::move(body.html);
  if (body.blockedRemoteImages) {
    std::u16string banner =
        u"<div style=\"background-color:#fff4ce;border:1px solid #e0c36c;padding:4px;"
        u"font-family:sans-serif;font-size:small\">";
    banner += kRemoteImagesBlocked;
    banner += u"</div>";
    view.insert(0, banner);
  }
  if (attachments.empty()) return view;

  // The sanitized text is a fragment with no body end of its own: the blocks
  // follow it in list order.
  view += u"<hr/>";
  for (const VeilmarkDecryptedAtt& attachment : attachments) {
    view += AttachmentBlock(attachment, origin);
  }
  return view;
}

}  // namespace veilmark
