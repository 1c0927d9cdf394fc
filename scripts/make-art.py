#!/usr/bin/env python3
"""Draws the program's own pictures into src/resources (SVG by hand, PNG/GIF/ICO
through ImageMagick). Run it after changing a drawing; the results are committed.
`make-art.py drivers` writes only the drivers page's make badges (SVG, no
ImageMagick needed); the build renders them into the pictures the page loads."""
import os, subprocess, sys, tempfile, math

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'src', 'resources')
BLUE = '#2B8FCF'
DARK = '#1F2A36'

def write(rel, text):
    path = os.path.join(ROOT, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w') as f:
        f.write(text)
    return path

def raster(svg_text, rel, size=None):
    path = os.path.join(ROOT, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with tempfile.NamedTemporaryFile('w', suffix='.svg', delete=False) as f:
        f.write(svg_text)
        tmp = f.name
    # 8 bits per channel: a 16-bit picture costs several times as much to decode at start-up.
    args = ['convert', '-background', 'none', tmp, '-depth', '8', '-define', 'png:exclude-chunks=date,time']
    if size:
        args += ['-resize', size]
    subprocess.check_call(args + [path])
    os.unlink(tmp)

def svg(w, h, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}">{body}</svg>\n')

# The mark: a stylised adapter plug in a rounded square.
def mark_body(size, fg='#FFFFFF', bg=BLUE):
    s = size / 64.0
    return (
        f'<rect x="{2*s}" y="{2*s}" width="{60*s}" height="{60*s}" rx="{14*s}" fill="{bg}"/>'
        f'<rect x="{16*s}" y="{20*s}" width="{32*s}" height="{24*s}" rx="{4*s}" fill="none" stroke="{fg}" stroke-width="{4*s}"/>'
        f'<rect x="{24*s}" y="{12*s}" width="{4*s}" height="{8*s}" fill="{fg}"/>'
        f'<rect x="{36*s}" y="{12*s}" width="{4*s}" height="{8*s}" fill="{fg}"/>'
        f'<path d="M{32*s} {44*s} V{54*s}" stroke="{fg}" stroke-width="{4*s}"/>'
        f'<circle cx="{26*s}" cy="{32*s}" r="{3*s}" fill="{fg}"/><circle cx="{38*s}" cy="{32*s}" r="{3*s}" fill="{fg}"/>')

def mark(size):
    return svg(size, size, mark_body(size))

def placed(size, x, y):
    return f'<g transform="translate({x} {y})">{mark_body(size)}</g>'

# The drivers page's make badges: the make's name on a tile of its colour over
# a light emblem shape. One SVG per picture name of the driver table; the
# build renders each into image/Drivers/<name>.png and <name>_en.png.
DRIVER_BADGES = [
    # picture name, label, tile colour, emblem
    ('J2534', 'J2534', '#2B8FCF', 'chip'),
    ('J0500', 'J0500', '#2E7D6B', 'chip'),
    ('VW', 'VW', '#1D3E8A', 'ring'),
    ('Porsche', 'PORSCHE', '#8E1B1B', 'shield'),
    ('Ford', 'FORD', '#1B3A8C', 'oval'),
    ('Mazda', 'MAZDA', '#4A4F55', 'oval'),
    ('BENZ', 'BENZ', '#3C4650', 'ring'),
    ('JLR', 'JLR', '#1E5B3A', 'shield'),
    ('BMW', 'BMW', '#1C69D4', 'ring'),
    ('GM', 'GM', '#2557A7', 'square'),
    ('VOLVO', 'VOLVO', '#2E4A62', 'ring'),
    ('Toyota', 'TOYOTA', '#C4161C', 'oval'),
    ('Honda', 'HONDA', '#B50F0F', 'square'),
    ('NISSAN', 'NISSAN', '#6B7077', 'ring'),
    ('RENAULT', 'RENAULT', '#B88A00', 'diamond'),
    ('PSA', 'PSA', '#2C5AA0', 'chevron'),
    ('MITSUBISHI', 'MMC', '#D0101B', 'diamond'),
    ('Mahindra', 'M&amp;M', '#A50E2A', 'chevron'),
    ('TATA', 'TATA', '#2A5DA8', 'oval'),
    ('FORCE', 'FORCE', '#2F6E3B', 'shield'),
    ('Suzuki', 'SUZUKI', '#1B4C9B', 'square'),
    ('AshokLeyland', 'AL', '#1A5FAA', 'chevron'),
    ('SAIC', 'SAIC', '#A6192E', 'square'),
    ('SUBARU', 'SUBARU', '#143E8C', 'oval'),
]

def driver_badge(label, colour, emblem):
    light = 'fill="#FFFFFF" fill-opacity="0.18"'
    line = 'fill="none" stroke="#FFFFFF" stroke-opacity="0.28" stroke-width="5"'
    shapes = {
        'ring': f'<circle cx="40" cy="40" r="29" {line}/>',
        'oval': f'<ellipse cx="40" cy="40" rx="33" ry="21" {line}/>',
        'square': f'<rect x="11" y="11" width="58" height="58" rx="10" {line}/>',
        'shield': f'<path d="M40 7 L69 16 V38 C69 56 55 66 40 73 C25 66 11 56 11 38 V16 Z" {light}/>',
        'diamond': f'<path d="M40 5 L75 40 L40 75 L5 40 Z" {light}/>',
        'chevron': f'<path d="M6 34 L40 14 L74 34 V48 L40 28 L6 48 Z M6 54 L40 34 L74 54 V66 L40 46 L6 66 Z" {light}/>',
        'chip': f'<rect x="16" y="18" width="48" height="44" rx="5" {light}/>' + ''.join(
            f'<rect x="{x}" y="8" width="4" height="10" {light}/><rect x="{x}" y="62" width="4" height="10" {light}/>'
            for x in (24, 34, 44, 54)),
    }
    shown = label.replace('&amp;', '&')
    # Advances of DejaVu Sans Bold capitals in em (M and W are the wide ones):
    # the label fits 62 of the 80 pixels.
    em = sum(0.99 if ch in 'MW' else 0.86 if ch in '&' else 0.76 for ch in shown)
    size = min(24.0, round(62.0 / em, 1))
    baseline = round(40 + size * 0.36, 1)
    return svg(80, 80,
        f'<rect x="1" y="1" width="78" height="78" rx="16" fill="{colour}"/>' + shapes[emblem] +
        f'<text x="40" y="{baseline}" text-anchor="middle" font-family="DejaVu Sans" font-weight="bold" '
        f'font-size="{size}" fill="#FFFFFF">{label}</text>')

def driver_badges():
    for name, label, colour, emblem in DRIVER_BADGES:
        write(f'image/Drivers/{name}.svg', driver_badge(label, colour, emblem))

def main():
    if sys.argv[1:] == ['drivers']:
        driver_badges()
        return
    driver_badges()
    raster(mark(256), 'image/Icon/Brindlewick.png', '64x64')
    ico = os.path.join(ROOT, 'Brindlewick.ico')
    big = os.path.join(ROOT, 'image/Icon/Brindlewick.png')
    subprocess.check_call(['convert', big, '-define', 'icon:auto-resize=64,48,32,16', ico])
    write('image/logo.svg', svg(164, 110,
        placed(44, 14, 20) +
        f'<text x="64" y="40" font-family="DejaVu Sans" font-weight="bold" font-size="13" fill="#FFFFFF">Brindlewick</text>'
        f'<text x="64" y="60" font-family="DejaVu Sans" font-size="12" fill="#9FB3C8">Manager</text>'))

    # Splash picture.
    raster(svg(480, 300,
        f'<rect width="480" height="300" fill="{DARK}"/><rect y="250" width="480" height="50" fill="#27435E"/>' +
        placed(96, 192, 50) +
        '<text x="240" y="200" text-anchor="middle" font-family="DejaVu Sans" font-weight="bold" font-size="28" fill="#FFFFFF">Brindlewick Manager</text>'
        '<text x="240" y="232" text-anchor="middle" font-family="DejaVu Sans" font-size="14" fill="#9FB3C8">Kestrix VCI</text>'),
        'image/launch.png')

    # Busy animation: twelve frames of a rotating arc.
    frames = []
    tmpdir = tempfile.mkdtemp()
    for i in range(12):
        a0 = i * 30
        a1 = a0 + 270
        def pt(a):
            r = math.radians(a)
            return 40 + 28 * math.cos(r), 40 + 28 * math.sin(r)
        x0, y0 = pt(a0); x1, y1 = pt(a1)
        body = (f'<circle cx="40" cy="40" r="28" fill="none" stroke="#D7D7D7" stroke-width="7"/>'
                f'<path d="M{x0:.2f} {y0:.2f} A28 28 0 1 1 {x1:.2f} {y1:.2f}" fill="none" stroke="{BLUE}" '
                f'stroke-width="7" stroke-linecap="round"/>')
        p = os.path.join(tmpdir, f'f{i:02d}.svg')
        open(p, 'w').write(svg(80, 80, body))
        png = p.replace('.svg', '.png')
        subprocess.check_call(['convert', '-background', '#F6F6F6', p, png])
        frames.append(png)
    subprocess.check_call(['convert', '-delay', '8', '-loop', '0'] + frames + [os.path.join(ROOT, 'image/loading.gif')])

    raster(svg(48, 48, '<circle cx="24" cy="24" r="22" fill="#F5A623"/>'
        '<rect x="21" y="10" width="6" height="20" rx="3" fill="#FFFFFF"/><circle cx="24" cy="37" r="3.5" fill="#FFFFFF"/>'),
        'image/Drivers/!.png')
    raster(svg(12, 12, '<circle cx="6" cy="6" r="4" fill="#C8C8C8"/>'), 'image/AD_NoDisp.png')
    raster(svg(12, 12, f'<circle cx="6" cy="6" r="5" fill="{BLUE}"/>'), 'image/AD_Disp.png')
    raster(svg(20, 20, '<circle cx="10" cy="10" r="9" fill="#34C759"/><path d="M5 10 L9 14 L15 6" fill="none" stroke="#FFFFFF" stroke-width="2.5"/>'),
        'image/Setting/check.png')
    raster(svg(20, 20, '<circle cx="10" cy="10" r="9" fill="#C8C8C8"/><path d="M6 6 L14 14 M14 6 L6 14" stroke="#FFFFFF" stroke-width="2.5"/>'),
        'image/Setting/cancel.png')
    raster(svg(20, 20, f'<circle cx="10" cy="10" r="9" fill="{BLUE}"/><circle cx="10" cy="10" r="4" fill="#FFFFFF"/>'),
        'image/Select.png')
    raster(svg(540, 220,
        '<rect width="540" height="220" rx="10" fill="#EEF4F9"/>'),
        'Resources/CarouselImageBack.png')

    # Adapter pictures: connected key programmer, generic unit, disconnected outline.
    def adapter(body_fill, accent, label, opacity=1.0):
        return svg(220, 160,
            f'<g opacity="{opacity}"><rect x="30" y="30" width="160" height="100" rx="16" fill="{body_fill}"/>'
            f'<rect x="44" y="48" width="132" height="34" rx="6" fill="#3A4A5C"/>'
            f'<rect x="80" y="10" width="60" height="24" rx="4" fill="#59636E"/>'
            f'<circle cx="60" cy="108" r="6" fill="{accent}"/><circle cx="80" cy="108" r="6" fill="#8A96A3"/>'
            f'<text x="110" y="70" text-anchor="middle" font-family="DejaVu Sans" font-weight="bold" font-size="17" fill="#FFFFFF">{label}</text></g>')
    raster(adapter(DARK, '#34C759', 'Brindlewick'), 'image/brindlewick vci.png')
    raster(adapter('#27435E', '#34C759', 'M5093K'), 'images/vci_M5093K.png')
    raster(adapter('#B8C0C8', '#E50012', 'VCI'), 'image/PNG_5093K_DisConn.png')

    # Settings icons (used as SVG).
    stroke = f'fill="none" stroke="{DARK}" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"'
    icons = {
        'back': f'<path d="M15 5 L8 12 L15 19" {stroke}/>',
        'enet': f'<rect x="4" y="9" width="16" height="10" rx="2" {stroke}/><path d="M8 9 V5 H16 V9 M9 13 V15 M12 13 V15 M15 13 V15" {stroke}/>',
        'globe': f'<circle cx="12" cy="12" r="9" {stroke}/><path d="M3 12 H21 M12 3 C8 7 8 17 12 21 C16 17 16 7 12 3" {stroke}/>',
        'log': f'<path d="M6 3 H14 L18 7 V21 H6 Z M14 3 V7 H18 M9 12 H15 M9 16 H15" {stroke}/>',
        'power': f'<path d="M12 3 V11 M7 6 A8 8 0 1 0 17 6" {stroke}/>',
        'update': f'<path d="M20 12 A8 8 0 1 1 17 5.5 M20 4 V9 H15" {stroke}/>',
        'user': f'<circle cx="12" cy="8" r="4" {stroke}/><path d="M4 21 C4 16 8 14 12 14 C16 14 20 16 20 21" {stroke}/>',
    }
    for name, body in icons.items():
        write(f'img/{name}.svg', svg(24, 24, body))

    # Navigation buttons: icon and caption per language, plain and selected.
    nav_icons = {
        'device': '<rect x="5" y="7" width="18" height="14" rx="3" {s}/><path d="M10 7 V3 M18 7 V3 M14 21 V25" {s}/>',
        'drivers': '<path d="M4 8 H24 M4 14 H24 M4 20 H24" {s}/><circle cx="9" cy="8" r="2.5" {s}/><circle cx="19" cy="14" r="2.5" {s}/><circle cx="12" cy="20" r="2.5" {s}/>',
        'remote': '<rect x="3" y="5" width="22" height="14" rx="2" {s}/><path d="M10 24 H18 M14 19 V24" {s}/>',
        'setting': '<circle cx="14" cy="14" r="4" {s}/><path d="M14 3 V7 M14 21 V25 M3 14 H7 M21 14 H25 M6 6 L9 9 M19 19 L22 22 M6 22 L9 19 M19 9 L22 6" {s}/>',
        'diag': '<path d="M3 15 H8 L11 7 L16 21 L19 13 H25" {s}/>',
        'repair': '<path d="M6 22 L16 12 M15 6 A5 5 0 0 0 22 13 L19 10 Z" {s}/>',
    }
    captions = {
        'en': {'device': 'Device', 'drivers': 'Drivers', 'remote': 'Remote', 'setting': 'Settings', 'diag': 'Diagnosis', 'repair': 'Repair data'},
        'es': {'device': 'Dispositivo', 'drivers': 'Controladores', 'remote': 'Remoto', 'setting': 'Ajustes', 'diag': 'Diagnóstico', 'repair': 'Reparación'},
    }
    for lang, caps in captions.items():
        for key, icon in nav_icons.items():
            for state, colour in (('off', '#9FB3C8'), ('on', '#FFFFFF')):
                s = f'fill="none" stroke="{colour}" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"'
                body = (f'<g transform="translate(22 12)">{icon.format(s=s)}</g>'
                        f'<text x="60" y="31" font-family="DejaVu Sans" font-size="13" fill="{colour}">{caps[key]}</text>')
                # Pictures, not SVG: drawing SVG text costs more at start-up than the whole window.
                raster(svg(167, 51, body), f'img/nav/{key}_{lang}_{state}.png')

    write('img/minimize.svg', svg(16, 16, '<path d="M3 8 H13" stroke="#59636E" stroke-width="1.6"/>'))
    write('img/close.svg', svg(16, 16, '<path d="M3 3 L13 13 M13 3 L3 13" stroke="#59636E" stroke-width="1.6"/>'))

if __name__ == '__main__':
    main()
