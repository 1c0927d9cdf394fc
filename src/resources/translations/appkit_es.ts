<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>Form</name>
    <message>
        <location filename="../../app/kit/Loading.ui" line="+73"/>
        <source>Executing...</source>
        <translation>Ejecutando...</translation>
    </message>
</context>
<context>
    <name>MessageYesNoClass</name>
    <message>
        <location filename="../../app/kit/MessageYesNo.ui" line="+115"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Confirm</source>
        <translation>Confirmar</translation>
    </message>
</context>
</TS>
