#include "drivers/DriverTable.h"

namespace {

struct Row {
    const char* key;
    const char* chineseName; // UTF-8
    const char* englishName;
    const char* image; // the Chinese picture; the English one has "_en" before ".png"
    const char* packageName;
    const char* installKey;
    const char* enableValue;
    int driverKind;
    int brandIndex;
    const char* serverProcess;
};

const Row kRows[] = {
    {"Kestrix_J2534", "J2534_0404", "J2534_0404", ":/image/Drivers/J2534.png", "J2534_0404", "J2534_0404", "J2534", 0,
        0, ""},
    {"Kestrix_J0500", "日产 1", "NISSAN 1", ":/image/Drivers/J0500.png", "J2534_0500", "J2534_0500", "", 0, 1, ""},
    {"Kestrix_VW", "大众", "VW", ":/image/Drivers/VW.png", "VW", "VW", "", 1, 0, ""},
    {"Kestrix_Porsche", "保时捷", "Porsche", ":/image/Drivers/Porsche.png", "Porsche", "Porsche", "", 1, 1, ""},
    {"Kestrix_Ford", "福特", "Ford", ":/image/Drivers/Ford.png", "Ford", "Ford", "", 1, 2, ""},
    {"Kestrix_Mazda", "马自达", "Mazda", ":/image/Drivers/Mazda.png", "Mazda", "Mazda", "", 1, 3, ""},
    {"Kestrix_BENZ", "奔驰", "BENZ", ":/image/Drivers/BENZ.png", "BENZ", "BENZ", "", 1, 4, "CaesarTCP_kestrix.exe"},
    {"Kestrix_JLR", "路虎", "JLR", ":/image/Drivers/JLR.png", "JLR", "JLR", "", 1, 5, ""},
    {"Kestrix_BMW", "宝马", "BMW", ":/image/Drivers/BMW.png", "BMW", "BMW", "", 1, 6, "BMW_DiagSer.exe"},
    {"Kestrix_GM", "通用", "GM", ":/image/Drivers/GM.png", "GM", "GM", "", 1, 7, ""},
    {"Kestrix_VOLVO", "沃尔沃", "VOLVO", ":/image/Drivers/VOLVO.png", "", "J2534_0404", "VOLVO", 1, 8, ""},
    {"Kestrix_Toyota", "丰田", "Toyota", ":/image/Drivers/Toyota.png", "", "J2534_0404", "Toyota", 1, 9, ""},
    {"Kestrix_Honda", "本田", "Honda", ":/image/Drivers/Honda.png", "", "J2534_0404", "Honda", 1, 10, ""},
    {"Kestrix_NISSAN", "日产", "NISSAN", ":/image/Drivers/NISSAN.png", "NISSAN", "NISSAN", "", 1, 11, ""},
    {"Kestrix_RENAULT", "雷诺", "RENAULT", ":/image/Drivers/RENAULT.png", "RENAULT", "RENAULT", "", 1, 12, ""},
    {"Kestrix_PSA", "雪铁龙", "PSA", ":/image/Drivers/PSA.png", "", "J2534_0404", "PSA", 1, 13, ""},
    {"Kestrix_MITSUBISHI", "三菱", "MITSUBISHI", ":/image/Drivers/MITSUBISHI.png", "MITSUBISHI", "MITSUBISHI", "", 1,
        15, ""},
    {"Kestrix_Mahindra", "马恒达", "Mahindra", ":/image/Drivers/Mahindra.png", "", "J2534_0404", "Mahindra", 1, 16, ""},
    {"Kestrix_TATA", "塔塔", "TATA", ":/image/Drivers/TATA.png", "TATA", "TATA", "TATA", 1, 17, ""},
    {"Kestrix_FORCE", "FORCE", "FORCE", ":/image/Drivers/FORCE.png", "", "TATA", "FORCE", 1, 17, ""},
    {"Kestrix_Suzuki", "铃木", "Suzuki", ":/image/Drivers/Suzuki.png", "Suzuki", "Suzuki", "", 1, 19, ""},
    {"Kestrix_AshokLeyland", "Ashok Leyland", "Ashok Leyland", ":/image/Drivers/AshokLeyland.png", "AshokLeyland",
        "AshokLeyland", "", 1, 20, ""},
    {"Kestrix_SAIC", "SAIC", "SAIC", ":/image/Drivers/SAIC.png", "SAIC", "SAIC", "", -1, -1, ""},
    {"Kestrix_SUBARU", "斯巴鲁", "SUBARU", ":/image/Drivers/SUBARU.png", "SUBARU", "SUBARU", "", -1, -1, ""},
};

QMap<QString, DriverInfo> buildRows()
{
    QMap<QString, DriverInfo> rows;
    for (const Row& r : kRows) {
        DriverInfo info;
        info.chineseName = QString::fromUtf8(r.chineseName);
        info.englishName = QString::fromUtf8(r.englishName);
        info.chineseImage = QString::fromUtf8(r.image);
        info.englishImage = QString(info.chineseImage).replace(QStringLiteral(".png"), QStringLiteral("_en.png"));
        info.packageName = QString::fromUtf8(r.packageName);
        info.installKey = QString::fromUtf8(r.installKey);
        info.enableValue = QString::fromUtf8(r.enableValue);
        info.driverKind = r.driverKind;
        info.brandIndex = r.brandIndex;
        info.serverProcess = QString::fromUtf8(r.serverProcess);
        rows.insert(QString::fromUtf8(r.key), info);
    }
    return rows;
}

} // namespace

const QMap<QString, DriverInfo>& DriverTable::rows()
{
    static const QMap<QString, DriverInfo> table = buildRows();
    return table;
}

const DriverInfo* DriverTable::find(const QString& key)
{
    const auto& table = rows();
    const auto it = table.constFind(key);
    return it == table.constEnd() ? nullptr : &it.value();
}
