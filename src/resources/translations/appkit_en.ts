<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Form</name>
    <message>
        <location filename="../../kit/Loading.ui" line="+73"/>
        <source>Executing...</source>
        <translation>Executing...</translation>
    </message>
</context>
<context>
    <name>MessageYesNoClass</name>
    <message>
        <location filename="../../kit/MessageYesNo.ui" line="+115"/>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
</context>
<context>
    <name>SafeUnpacker</name>
    <message>
        <location filename="../../kit/SafeUnpacker.cpp" line="+151"/>
        <source>The unpacking tool (7-Zip) was not found.</source>
        <translation>The unpacking tool (7-Zip) was not found.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The file is not a zip or 7z archive, or it is damaged.</source>
        <translation>The file is not a zip or 7z archive, or it is damaged.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive is protected by a password.</source>
        <translation>The archive is protected by a password.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive holds an unsafe file name: %1</source>
        <translation>The archive holds an unsafe file name: %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive holds a link: %1</source>
        <translation>The archive holds a link: %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive holds a device or other special file: %1</source>
        <translation>The archive holds a device or other special file: %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive would unpack to more than %1.</source>
        <translation>The archive would unpack to more than %1.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive holds more than %1 files.</source>
        <translation>The archive holds more than %1 files.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Unpacking took too long and was stopped.</source>
        <translation>Unpacking took too long and was stopped.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Unpacking was cancelled.</source>
        <translation>Unpacking was cancelled.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Could not write the folder %1.</source>
        <translation>Could not write the folder %1.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The unpacked files do not match the archive&apos;s list: %1</source>
        <translation>The unpacked files do not match the archive&apos;s list: %1</translation>
    </message>
</context>
<context>
    <name>MessageYesNo</name>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
</context>
<context>
    <name>CarouselImageWindow</name>
    <message>
        <source>Picture %1 of %2</source>
        <translation>Picture %1 of %2</translation>
    </message>
    <message>
        <source>Shows this picture</source>
        <translation>Shows this picture</translation>
    </message>
</context>
<context>
    <name>HttpUtils</name>
    <message>
        <location filename="../../kit/HttpUtils.cpp" line="+496"/>
        <source>UnknownError</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>CannotConnectServerRetryTip</source>
        <translation>Can not connect to server, please check network connection</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>ServerError</source>
        <translation>Server error</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>RequestFailedRetryTip</source>
        <translation>Request failed, try again later</translation>
    </message>
</context>
</TS>
