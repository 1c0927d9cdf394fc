<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>Kestrix</name>
    <message>
        <location filename="../../app/Kestrix.cpp" line="+107"/>
        <location line="+214"/>
        <source>Executing</source>
        <translation>Ejecutando...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Version:</source>
        <translation>Versión:</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Online</source>
        <translation>En línea</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>none</source>
        <translation>Ninguno</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Dispositivo</translation>
    </message>
    <message>
        <source>Shows the connected adapter</source>
        <translation>Muestra el adaptador conectado</translation>
    </message>
    <message>
        <source>Drivers</source>
        <translation>Controladores</translation>
    </message>
    <message>
        <source>Installs and switches the vehicle drivers</source>
        <translation>Instala y activa los controladores de vehículo</translation>
    </message>
    <message>
        <source>Remote</source>
        <translation>Remoto</translation>
    </message>
    <message>
        <source>Lends the adapter to a technician or reaches another</source>
        <translation>Presta el adaptador a un técnico o accede a otro</translation>
    </message>
    <message>
        <source>Diagnosis</source>
        <translation>Diagnóstico</translation>
    </message>
    <message>
        <source>Starts the diagnosis of a vehicle make</source>
        <translation>Inicia el diagnóstico de una marca de vehículo</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Ajustes</translation>
    </message>
    <message>
        <source>Logs, start-up, updates, language and account</source>
        <translation>Registros, inicio, actualizaciones, idioma y cuenta</translation>
    </message>
    <message>
        <source>Repair data</source>
        <translation>Datos de reparación</translation>
    </message>
    <message>
        <source>Repair information of the vehicle makes</source>
        <translation>Información de reparación de las marcas de vehículo</translation>
    </message>
    <message>
        <source>Minimise</source>
        <translation>Minimizar</translation>
    </message>
    <message>
        <source>Minimises the window</source>
        <translation>Minimiza la ventana</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Cerrar</translation>
    </message>
    <message>
        <source>Hides the window; the program keeps running in the tray</source>
        <translation>Oculta la ventana; el programa sigue en la bandeja</translation>
    </message>
    <message>
        <source>Brindlewick web site</source>
        <translation>Sitio web de Brindlewick</translation>
    </message>
    <message>
        <source>Opens the maker&apos;s web site</source>
        <translation>Abre el sitio web del fabricante</translation>
    </message>
    <message>
        <source>Back to settings</source>
        <translation>Volver a ajustes</translation>
    </message>
</context>
<context>
    <name>KestrixClass</name>
    <message>
        <location filename="../../app/Kestrix.ui" line="+14"/>
        <location line="+207"/>
        <source>Brindlewick Manager</source>
        <translation>Brindlewick Manager</translation>
    </message>
</context>
<context>
    <name>SysTrayIconWidget</name>
    <message>
        <location filename="../../app/SysTrayIconWidget.cpp" line="+21"/>
        <source>Display</source>
        <translation>Pantalla</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Exit</source>
        <translation>Salida</translation>
    </message>
</context>
</TS>
