// Seeds of the iOS 5 database target: the blobs of the sample database.
#include "seeds.h"

#include "fuzzsupport.h"
#include "ios5smsfixture.h"

QS_FUZZ_SEEDS(ios5parts)
{
    const QByteArray participants =
        IOS5SmsFixture::participantsBlob({QStringLiteral("+12125550150"), QStringLiteral("Bob@Example.com")});
    const QByteArray info = IOS5SmsFixture::attachmentInfoBlob(
        {QLatin1String(IOS5SmsFixture::kGuidA2), QLatin1String(IOS5SmsFixture::kGuidA3)});
    sink.add(QStringLiteral("sample"),
             fuzz::joined({participants, "JPEGDATA", "image/jpeg", "IMG_0001.JPG", info, "stored9"}));
    sink.add(QStringLiteral("text-part"), fuzz::joined({participants, QByteArray("Look\0more", 9), "text/plain",
                                                        "text_0.txt", info, QByteArray()}));
    sink.add(QStringLiteral("escaping-name"),
             fuzz::joined({QByteArray("not a list"), "x", "image/png", "../../../../escape.png", "", ""}));
}
