#frames: 3
#name, x, y, w, h, charW, parent, frame
font, 0, 0, 8, 16, 7, font, 0
font_2, 8, 0, 8, 16, 5, font, 1
icon, 16, 0, 16, 16, 16, icon, 0
