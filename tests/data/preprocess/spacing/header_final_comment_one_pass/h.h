x
// end
