#include "api/content_type.h"

#include <map>
#include <string>

namespace veilmark {
namespace {

// Extension (lower case, without the full stop) to MIME type. Matched exactly:
// "PDF" is not "pdf".
const std::map<std::u16string, std::string>& Table() {
  static const std::map<std::u16string, std::string> table{
      {u"ai", "application/postscript"},
      {u"aif", "audio/x-aiff"},
      {u"aifc", "audio/x-aiff"},
      {u"aiff", "audio/x-aiff"},
      {u"asc", "text/plain"},
      {u"atom", "application/atom+xml"},
      {u"au", "audio/basic"},
      {u"avi", "video/x-msvideo"},
      {u"bcpio", "application/x-bcpio"},
      {u"bin", "application/octet-stream"},
      {u"bmp", "image/bmp"},
      {u"cdf", "application/x-netcdf"},
      {u"cgm", "image/cgm"},
      {u"class", "application/octet-stream"},
      {u"cpio", "application/x-cpio"},
      {u"cpt", "application/mac-compactpro"},
      {u"csh", "application/x-csh"},
      {u"css", "text/css"},
      {u"dcr", "application/x-director"},
      {u"dif", "video/x-dv"},
      {u"dir", "application/x-director"},
      {u"djv", "image/vnd.djvu"},
      {u"djvu", "image/vnd.djvu"},
      {u"dll", "application/octet-stream"},
      {u"dmg", "application/octet-stream"},
      {u"dms", "application/octet-stream"},
      {u"doc", "application/msword"},
      {u"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
      {u"dotx", "application/vnd.openxmlformats-officedocument.wordprocessingml.template"},
      {u"dtd", "application/xml-dtd"},
      {u"dv", "video/x-dv"},
      {u"dvi", "application/x-dvi"},
      {u"dxr", "application/x-director"},
      {u"eps", "application/postscript"},
      {u"etx", "text/x-setext"},
      {u"exe", "application/octet-stream"},
      {u"ez", "application/andrew-inset"},
      {u"gif", "image/gif"},
      {u"gram", "application/srgs"},
      {u"grxml", "application/srgs+xml"},
      {u"gtar", "application/x-gtar"},
      {u"hdf", "application/x-hdf"},
      {u"hqx", "application/mac-binhex40"},
      {u"htm", "text/html"},
      {u"html", "text/html"},
      {u"ice", "x-conference/x-cooltalk"},
      {u"ico", "image/x-icon"},
      {u"ics", "text/calendar"},
      {u"ief", "image/ief"},
      {u"ifb", "text/calendar"},
      {u"iges", "model/iges"},
      {u"igs", "model/iges"},
      {u"jnlp", "application/x-java-jnlp-file"},
      {u"jp2", "image/jp2"},
      {u"jpe", "image/jpeg"},
      {u"jpeg", "image/jpeg"},
      {u"jpg", "image/jpeg"},
      {u"js", "application/x-javascript"},
      {u"kar", "audio/midi"},
      {u"latex", "application/x-latex"},
      {u"lha", "application/octet-stream"},
      {u"lzh", "application/octet-stream"},
      {u"m3u", "audio/x-mpegurl"},
      {u"m4a", "audio/mp4a-latm"},
      {u"m4b", "audio/mp4a-latm"},
      {u"m4p", "audio/mp4a-latm"},
      {u"m4u", "video/vnd.mpegurl"},
      {u"m4v", "video/x-m4v"},
      {u"mac", "image/x-macpaint"},
      {u"man", "application/x-troff-man"},
      {u"mathml", "application/mathml+xml"},
      {u"me", "application/x-troff-me"},
      {u"mesh", "model/mesh"},
      {u"mid", "audio/midi"},
      {u"midi", "audio/midi"},
      {u"mif", "application/vnd.mif"},
      {u"mov", "video/quicktime"},
      {u"movie", "video/x-sgi-movie"},
      {u"mp2", "audio/mpeg"},
      {u"mp3", "audio/mpeg"},
      {u"mp4", "video/mp4"},
      {u"mpe", "video/mpeg"},
      {u"mpeg", "video/mpeg"},
      {u"mpg", "video/mpeg"},
      {u"mpga", "audio/mpeg"},
      {u"ms", "application/x-troff-ms"},
      {u"msh", "model/mesh"},
      {u"mxu", "video/vnd.mpegurl"},
      {u"nc", "application/x-netcdf"},
      {u"oda", "application/oda"},
      {u"ogg", "application/ogg"},
      {u"pbm", "image/x-portable-bitmap"},
      {u"pct", "image/pict"},
      {u"pdb", "chemical/x-pdb"},
      {u"pdf", "application/pdf"},
      {u"pgm", "image/x-portable-graymap"},
      {u"pgn", "application/x-chess-pgn"},
      {u"pic", "image/pict"},
      {u"pict", "image/pict"},
      {u"png", "image/png"},
      {u"pnm", "image/x-portable-anymap"},
      {u"pnt", "image/x-macpaint"},
      {u"pntg", "image/x-macpaint"},
      {u"potx", "application/vnd.openxmlformats-officedocument.presentationml.template"},
      {u"ppm", "image/x-portable-pixmap"},
      {u"ppsx", "application/vnd.openxmlformats-officedocument.presentationml.slideshow"},
      {u"ppt", "application/vnd.ms-powerpoint"},
      {u"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
      {u"ps", "application/postscript"},
      {u"qt", "video/quicktime"},
      {u"qti", "image/x-quicktime"},
      {u"qtif", "image/x-quicktime"},
      {u"ra", "audio/x-pn-realaudio"},
      {u"ram", "audio/x-pn-realaudio"},
      {u"ras", "image/x-cmu-raster"},
      {u"rdf", "application/rdf+xml"},
      {u"rgb", "image/x-rgb"},
      {u"rm", "application/vnd.rn-realmedia"},
      {u"roff", "application/x-troff"},
      {u"rtf", "text/rtf"},
      {u"rtx", "text/richtext"},
      {u"sgm", "text/sgml"},
      {u"sgml", "text/sgml"},
      {u"sh", "application/x-sh"},
      {u"shar", "application/x-shar"},
      {u"silo", "model/mesh"},
      {u"sit", "application/x-stuffit"},
      {u"skd", "application/x-koan"},
      {u"skm", "application/x-koan"},
      {u"skp", "application/x-koan"},
      {u"skt", "application/x-koan"},
      {u"smi", "application/smil"},
      {u"smil", "application/smil"},
      {u"snd", "audio/basic"},
      {u"so", "application/octet-stream"},
      {u"spl", "application/x-futuresplash"},
      {u"src", "application/x-wais-source"},
      {u"sv4cpio", "application/x-sv4cpio"},
      {u"sv4crc", "application/x-sv4crc"},
      {u"svg", "image/svg+xml"},
      {u"swf", "application/x-shockwave-flash"},
      {u"t", "application/x-troff"},
      {u"tar", "application/x-tar"},
      {u"tcl", "application/x-tcl"},
      {u"tex", "application/x-tex"},
      {u"texi", "application/x-texinfo"},
      {u"texinfo", "application/x-texinfo"},
      {u"tif", "image/tiff"},
      {u"tiff", "image/tiff"},
      {u"tr", "application/x-troff"},
      {u"tsv", "text/tab-separated-values"},
      {u"txt", "text/plain"},
      {u"ustar", "application/x-ustar"},
      {u"vcd", "application/x-cdlink"},
      {u"vrml", "model/vrml"},
      {u"vxml", "application/voicexml+xml"},
      {u"wav", "audio/x-wav"},
      {u"wbmp", "image/vnd.wap.wbmp"},
      {u"wbmxl", "application/vnd.wap.wbxml"},
      {u"wml", "text/vnd.wap.wml"},
      {u"wmlc", "application/vnd.wap.wmlc"},
      {u"wmls", "text/vnd.wap.wmlscript"},
      {u"wmlsc", "application/vnd.wap.wmlscriptc"},
      {u"wrl", "model/vrml"},
      {u"xbm", "image/x-xbitmap"},
      {u"xht", "application/xhtml+xml"},
      {u"xhtml", "application/xhtml+xml"},
      {u"xls", "application/vnd.ms-excel"},
      {u"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
      {u"xltx", "application/vnd.openxmlformats-officedocument.spreadsheetml.template"},
      {u"xml", "application/xml"},
      {u"xpm", "image/x-xpixmap"},
      {u"xsl", "application/xml"},
      {u"xslt", "application/xslt+xml"},
      {u"xul", "application/vnd.mozilla.xul+xml"},
      {u"xwd", "image/x-xwindowdump"},
      {u"xyz", "chemical/x-xyz"},
      {u"zip", "application/zip"},
  };
  return table;
}

// The extension as the shell's PathFindExtensionW finds it: after the last
// full stop that no backslash or space follows; otherwise none.
std::u16string_view Extension(std::u16string_view fileName) {
  std::size_t dot = std::u16string_view::npos;
  for (std::size_t i = 0; i < fileName.size(); ++i) {
    if (fileName[i] == u'\\' || fileName[i] == u' ') {
      dot = std::u16string_view::npos;
    } else if (fileName[i] == u'.') {
      dot = i;
    }
  }
  return dot == std::u16string_view::npos ? std::u16string_view() : fileName.substr(dot + 1);
}

}  // namespace

std::string ContentTypeFor(std::u16string_view fileName) {
  // The two parts of a PGP/MIME message, decided before the table (RFC 3156).
  if (fileName == u"encrypted.asc") return "application/octet-stream";
  if (fileName == u"PGP_MIME version identification.dat" || fileName == u"Version_Identification" ||
      fileName == u"Version_Identification.dat") {
    return "application/pgp-encrypted";
  }
  const auto& table = Table();
  const auto found = table.find(std::u16string(Extension(fileName)));
  return found == table.end() ? "application/octet-stream" : found->second;
}

}  // namespace veilmark
