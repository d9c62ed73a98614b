// An RFC 5322 message as a mail client sends it, for the native MIME tests: multipart/mixed of
// (multipart/related of (multipart/alternative of an ISO-8859-1 quoted-printable plain body and
// a UTF-8 base64 HTML body) and an inline PNG with a Content-ID) and two attachments, one named
// in RFC 2231 form with non-ASCII characters, one with a plain quoted name. The expected values
// are stated here by hand, not derived from the encoded text.
#pragma once

#include "dxl_builder.h"

#include <string>

namespace mime_test {

inline std::string crlfBase64(std::string_view bytes)
{
    std::string out;
    for (char c : dxl::base64(bytes)) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

struct Message {
    std::string pdf; // the bytes of each file
    std::string csv;
    std::string png;
    std::string text; // what the plain body says, UTF-8
    std::string rfc5322;
};

inline const char* const PdfName = "Pr\xC3\xBC"
                                   "fbericht \xE2\x80\x93 M\xC3\xA4rz.pdf"; // Prüfbericht – März.pdf
inline const char* const CsvName = "zahlen 2015.csv";
inline const char* const Subject = "Gr\xC3\xBC\xC3\x9F"
                                   "e aus M\xC3\xBCnchen"; // Grüße aus München

inline Message message()
{
    Message m;
    for (int i = 0; i < 3 * 256; ++i)
        m.pdf += static_cast<char>(i * 7 % 256);
    m.pdf.insert(0, "%PDF-1.4\r\n");
    m.csv = "Monat;Betrag\r\nJanuar;12,50\r\nFebruar;7,00\r\n";
    m.png = std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    for (int i = 0; i < 200; ++i)
        m.png += static_cast<char>(255 - i);
    m.text = "Hallo Ann,\n\nanbei die Unterlagen f\xC3\xBCr n\xC3\xA4"
             "chste Woche.\n\nViele Gr\xC3\xBC\xC3\x9F"
             "e\nJ\xC3\xBCrgen";
    const std::string html = "<html><body><p>Hallo Ann,</p><p>anbei die Unterlagen f\xC3\xBCr n\xC3\xA4"
                             "chste Woche.</p><img src=\"cid:logo.1@example.de\"></body></html>";
    m.rfc5322 = "Return-Path: <juergen@example.de>\r\n"
                "From: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <juergen@example.de>\r\n"
                "To: Ann Lee <ann@example.com>,\r\n bo@example.com\r\n"
                "Cc: carl@example.org\r\n"
                "Subject: =?ISO-8859-1?Q?Gr=FC=DFe_aus_M=FCnchen?=\r\n"
                "Date: Tue, 3 Mar 2015 09:41:07 +0100\r\n"
                "Message-ID: <20150303094107.4711@example.de>\r\n"
                "MIME-Version: 1.0\r\n"
                "Content-Type: multipart/mixed; boundary=\"mixed-1\"\r\n"
                "\r\n"
                "This is a multi-part message in MIME format.\r\n"
                "--mixed-1\r\n"
                "Content-Type: multipart/related; boundary=\"rel-2\"; type=\"multipart/alternative\"\r\n"
                "\r\n"
                "--rel-2\r\n"
                "Content-Type: multipart/alternative; boundary=\"alt-3\"\r\n"
                "\r\n"
                "--alt-3\r\n"
                "Content-Type: text/plain; charset=ISO-8859-1; format=flowed\r\n"
                "Content-Transfer-Encoding: quoted-printable\r\n"
                "\r\n"
                "Hallo Ann,\r\n\r\nanbei die Unterlagen f=FCr n=E4chste Woche.\r\n\r\nViele Gr=FC=DFe\r\nJ=FCrgen\r\n"
                "--alt-3\r\n"
                "Content-Type: text/html; charset=UTF-8\r\n"
                "Content-Transfer-Encoding: base64\r\n"
                "\r\n"
        + crlfBase64(html)
        + "--alt-3--\r\n"
          "\r\n"
          "--rel-2\r\n"
          "Content-Type: image/png; name=\"logo.png\"\r\n"
          "Content-Transfer-Encoding: base64\r\n"
          "Content-ID: <logo.1@example.de>\r\n"
          "Content-Disposition: inline; filename=\"logo.png\"\r\n"
          "\r\n"
        + crlfBase64(m.png)
        + "--rel-2--\r\n"
          "\r\n"
          "--mixed-1\r\n"
          "Content-Type: application/pdf\r\n"
          "Content-Transfer-Encoding: base64\r\n"
          "Content-Disposition: attachment;\r\n"
          " filename*=UTF-8''Pr%C3%BCfbericht%20%E2%80%93%20M%C3%A4rz.pdf\r\n"
          "\r\n"
        + crlfBase64(m.pdf)
        + "--mixed-1\r\n"
          "Content-Type: text/csv; charset=UTF-8; name=\"zahlen 2015.csv\"\r\n"
          "Content-Transfer-Encoding: base64\r\n"
          "Content-Disposition: attachment; filename=\"zahlen 2015.csv\"\r\n"
          "\r\n"
        + crlfBase64(m.csv) + "--mixed-1--\r\n";
    return m;
}

} // namespace mime_test
