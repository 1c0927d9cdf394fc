<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>DriverCatalogue</name>
    <message>
        <location filename="../../drivers/DriverCatalogue.cpp" line="+156"/>
        <source>The server&apos;s driver list could not be read.</source>
        <translation>The server&apos;s driver list could not be read.</translation>
    </message>
</context>
<context>
    <name>DriverFiles</name>
    <message>
        <location filename="../../drivers/DriverFiles.cpp" line="+69"/>
        <source>This driver has no package to install.</source>
        <translation>This driver has no package to install.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The package&apos;s manifest cannot be read.</source>
        <translation>The package&apos;s manifest cannot be read.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The archive holds the %1 package, not %2.</source>
        <translation>The archive holds the %1 package, not %2.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>The driver could not be recorded in the registry.</source>
        <translation>The driver could not be recorded in the registry.</translation>
    </message>
</context>
<context>
    <name>HttpUtils</name>
    <message>
        <location filename="../../drivers/HttpUtils.cpp" line="+496"/>
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
