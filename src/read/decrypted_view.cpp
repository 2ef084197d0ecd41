#include "read/decrypted_view.h"

#include "api/api_endpoint.h"
#include "util/text.h"

namespace veilmark {
namespace {

std::u16string AttachmentBlock(const VeilmarkDecryptedAtt& attachment,
                               const std::u16string& origin) {
  // Names and paths come from the sender's message: escaped so that none can
  // open a tag or leave an attribute.
  const std::u16string attUrl = EscapeHtml(origin + attachment.url);
  std::string contentType = attachment.contentType;
  LowerAscii(contentType);
  std::u16string thumbUrl;
  if (contentType.compare(0, 5, "image") == 0) {
    thumbUrl = EscapeHtml(origin +
                          (attachment.previewUrl.empty() ? attachment.url : attachment.previewUrl));
  } else {
    thumbUrl = origin + u"/images/attachment.png";
  }
  const std::u16string name = EscapeHtml(attachment.name);
  return u"<table cellpadding=\"0\"><tbody><tr><td><a href=\"" + attUrl +
         u"\"><img style=\"max-height:180px\" src=\"" + thumbUrl + u"\" alt=\"" + name +
         u"\"></a></td><td><b>" + name + u"</b><br/>" +
         FormatSize(static_cast<std::uint64_t>(attachment.size)) + u"<span>&nbsp;&nbsp;<a href=\"" +
         attUrl + u"\">Download</a>&nbsp;&nbsp;</span></td></tr></tbody></table>";
}

}  // namespace

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
                                    const std::vector<VeilmarkDecryptedAtt>& attachments) {
  std::u16string decrypted = clearText;
  if (attachments.empty()) return decrypted;

  std::u16string lower = decrypted;
  LowerAscii(lower);
  const std::size_t bodyEnd = lower.find(u"</body>");
  const bool hasBody = bodyEnd != std::u16string::npos;
  const std::u16string origin = u"https://" + CurrentApiEndpoint().authority();

  if (!hasBody) decrypted += u"<hr/>";
  for (const VeilmarkDecryptedAtt& attachment : attachments) {
    const std::u16string link = AttachmentBlock(attachment, origin);
    // Inserting each block at the same place puts the last one first.
    if (hasBody) {
      decrypted.insert(bodyEnd, link);
    } else {
      decrypted += link;
    }
  }
  if (hasBody) decrypted.insert(bodyEnd, u"<hr/>");
  return decrypted;
}

}  // namespace veilmark
