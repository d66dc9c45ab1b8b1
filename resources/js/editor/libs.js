// The page's pure modules. They are written to run both as plain scripts (each sets its
// window.Tamo* name) and under Node's require() for the model tests, so they are imported here
// for that effect, in dependency order (subtitles.js reads window.TamoOverlays as it loads), and
// handed on under short names.
import '../animation.js';
import '../geometry.js';
import '../overlays.js';
import '../fonts.js';
import '../timefmt.js';
import '../handles.js';
import '../blurpreview.js';
import '../captions.js';
import '../history.js';
import '../subtitles.js';
import '../product.js';
import '../autosave.js';

export const Anim = window.TamoAnimation;
export const Geo = window.TamoGeometry;
export const Ov = window.TamoOverlays;
export const Subs = window.TamoSubtitles;
export const Product = window.TamoProduct;
export const Fonts = window.TamoFonts;
export const TimeFmt = window.TamoTime;
export const Handles = window.TamoHandles;
export const BlurPreview = window.TamoBlurPreview;
export const Captions = window.TamoCaptions;
export const HistoryLib = window.TamoHistory;
export const AutosaveLib = window.TamoAutosave;
